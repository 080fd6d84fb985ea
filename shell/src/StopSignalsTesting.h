// Test seam of the stop request: forget a stop so that the next run of a test
// goes through. Pending stop signals are taken away as well.
#pragma once

namespace shell::testing {

void ClearStopRequest();

}  // namespace shell::testing
