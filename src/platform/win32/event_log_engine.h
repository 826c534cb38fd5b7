#pragma once

// The engine over a folder of exports is the one both builds share.
#include "platform/eventlog/exported_log_engine.h"
