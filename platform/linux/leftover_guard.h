#pragma once

namespace vellora {

// Makes a stopped process leave no named temporary file behind: SIGINT,
// SIGTERM and SIGHUP remove every registered temporary and then end the
// process with the signal's usual status. SIGXFSZ is ignored, so that a
// file-size limit becomes an ordinary write failure ("File too large").
void installLeftoverGuard();

// Registers the temporary `name` in the open directory `directory`, which
// must stay open until it is forgotten, for removal if the process is
// stopped. Register a name before it is made and forget it once it is gone
// or renamed: removing a name that is not there does no harm, and the
// names carry the process id. Returns a slot for forgetTemporary,
// or -1 when every slot is taken.
int rememberTemporary(int directory, const char* name);
void forgetTemporary(int slot);

}  // namespace vellora
