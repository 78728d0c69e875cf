#include "platform/dialogs.h"

namespace velquin {

Dialogs::~Dialogs() = default;

} // namespace velquin
