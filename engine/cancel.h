// The user's request to stop an installation: the progress window's Cancel button (or, in the
// tests, the engine's own cancel-after switch) sets it; the engine looks at it between elements
// and, when it is set, rolls back what the installation did so far. An element that is running
// when the request comes finishes first: a step is never cut in the middle by a cancel.
#pragma once

// Safe to call from any thread, any number of times.
void RequestCancel();
bool CancelRequested();
