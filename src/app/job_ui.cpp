#include "app/job_ui.h"
