#include "FaceChip.h"
