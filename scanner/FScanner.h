#pragma once
// The directory scanner: wildcard masks and mask lists, the scanner component
// and its worker thread.

#include "scanner/BaseScanner.h"
#include "scanner/Masks.h"
#include "scanner/ScanThread.h"
#include "scanner/ScanTypes.h"
