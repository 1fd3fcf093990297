#include "operator_messages.h"
