// What the other parts of the stand-in may ask of the calling thread's COM apartment.
#pragma once

namespace winapi::com {

// Whether the calling thread is in its apartment now.
bool isInitialised();
// Which entry into its apartment the calling thread is in: it changes each time the thread
// enters afresh (its count goes from 0 to 1), so work done within one native call, which enters
// and leaves the apartment once, can be told from work done by an earlier call.
unsigned long apartmentEntry();
// Has drop called on a thread each time it leaves its apartment (its count falls to 0), so that
// what was kept for the work of that entry goes with it. Registered once, before any call.
void onLeavingApartment(void (*drop)());

}  // namespace winapi::com
