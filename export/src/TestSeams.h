// Seams for the tests of the export: shorter waits and shorter time-outs, so
// that a test of a slow or silent API ends in seconds. Never called by the
// program; the fixed values are those of HttpClient.h and RequestExchange.h.
#pragma once

namespace exportjob::testing {

// Scales the fixed waits of the export (500 ms after the login, 1000 ms
// after each POST); 0 removes them.
void SetWaitScale(double scale);

// Time-outs of every HTTP request: connect, whole request, and the time
// under 1 byte per second after which a request fails (whole seconds).
void SetHttpLimits(long connectMs, long totalMs, long lowSpeedSeconds);
// Back to the fixed values.
void ResetHttpLimits();

}  // namespace exportjob::testing
