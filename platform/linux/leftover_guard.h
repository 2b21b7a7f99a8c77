#pragma once

namespace vellora {

// Makes a stopped process leave no named temporary file behind: SIGINT,
// SIGTERM and SIGHUP remove every registered path and then end the process
// with the signal's usual status. SIGXFSZ is ignored, so that a file-size
// limit becomes an ordinary write failure ("File too large").
void installLeftoverGuard();

// Registers a path to remove if the process is stopped; returns a slot for
// forgetTemporary, or -1 when every slot is taken.
int rememberTemporary(const char* path);
void forgetTemporary(int slot);

}  // namespace vellora
