#include "../../macos13_apis.h"
