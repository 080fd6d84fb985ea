// Small facts about the host that the data-access library and the service
// read: identity for the SQL trace and a blocking wait.
#pragma once
#include <string>

#include "dataaccess/ServiceFolder.h"  // the service folder, read by the same callers

// The computer's network name, at most 15 characters; empty when unknown.
std::string GetMachineName();
// The first local IPv4 address in dotted-decimal text; empty when none.
std::string GetLocalIP();

// Name of the application's active window ("fmDEZORiv" for the service),
// empty when there is none. The service sets it when its main object exists.
std::string ActiveWindowName();
void SetActiveWindowName(const std::string& name);

// Blocks the calling thread for the given milliseconds.
void KVSleep(int milliseconds);
