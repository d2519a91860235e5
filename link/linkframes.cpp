#include "linkframes.h"
