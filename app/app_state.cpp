#include "app_state.h"

AppState app;
