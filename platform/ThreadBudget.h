#pragma once

// How many threads the program's work may take on this machine, decided in one place.

// The processor's cores, at least 1.
int Cores();

// The threads decoding frames may use: one a core, at least 2 so that decoding runs ahead of its
// caller even on one core, and at most 8, past which a frame folder's disk is the limit.
int DecodeThreads();

// The threads an encoder may use and still leave one core free for a capture running beside it;
// at least 1.
int ThreadsLeavingOneCore();
