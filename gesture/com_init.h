// COM is initialised on a thread just before its first packet object is made.
#pragma once

// Joins the calling thread to a single-threaded apartment the first time it
// is called on that thread; afterwards it costs one thread-local read.
void EnsureComInitialized();
