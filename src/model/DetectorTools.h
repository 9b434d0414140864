#pragma once

// The detector edits and the geometry they rest on, in one include.
#include "model/DetectorEdits.h"
#include "model/DetectorGeometry.h"
