#include "platform/imageprobe.h"
