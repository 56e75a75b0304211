#include "oledlg.h"
