// The root entries each server has given, kept for as long as a pooled connection may stand for
// its credentials (Connection::rootEntry reads and keeps them).
#pragma once

namespace winapi::adsi {

void forgetRootEntries();

}  // namespace winapi::adsi
