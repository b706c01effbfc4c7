#include "app/progress_dlg.h"
