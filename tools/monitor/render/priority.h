// The pipe's thread first: the threads that draw, serve pages and look back
// run below it, so that a burst from the host application is received at
// the host's speed and drawn after, on a machine of few cores.
#pragma once

// Lowers the calling thread's priority below the pipe's thread's, once and for all.
void RunBelowThePipe();
