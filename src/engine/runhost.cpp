#include "engine/runhost.h"

namespace velquin {

RunHost::~RunHost() = default;

} // namespace velquin
