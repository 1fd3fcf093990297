#pragma once

#include <QString>

namespace programador {

// Every message the operator sees goes through this interface. The program shows a
// modal QMessageBox titled "Telvarin"; the tests record the texts and answer from a script.
// A message may carry a reason: a second line saying which file or device failed and why.
enum class MessageIcon { None, Information, Warning, Error };
enum class MessageButtons { Ok, YesNo, YesNoDefaultNo };   // YesNo: Yes the default
enum class MessageAnswer { Ok, Yes, No };

class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    virtual MessageAnswer show(const QString& text, MessageIcon icon, MessageButtons buttons,
                               const QString& reason = {}) = 0;
};

} // namespace programador
