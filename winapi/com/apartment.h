// What the other parts of the stand-in may ask of the calling thread's COM apartment.
#pragma once

namespace winapi::com {

// Whether the calling thread is in its apartment now.
bool isInitialised();
// Which entry into its apartment the calling thread is in: it changes each time the thread
// enters afresh (its count goes from 0 to 1), so work done within one native call, which enters
// and leaves the apartment once, can be told from work done by an earlier call.
unsigned long apartmentEntry();

}  // namespace winapi::com
