#pragma once

#include <QString>

namespace programador {

// Who the program runs for, as the record names the operator: the login name, from the system's
// user database (else $USER); and the full name, the first field of its comment (GECOS), else
// the login name.
QString loginName();
QString fullName();
// Where the program keeps what it remembers for this user: $XDG_STATE_HOME/programador
// (~/.local/state/programador).
QString stateFolder();

} // namespace programador
