#pragma once

namespace vellora {

// Makes a stopped process leave no named temporary file behind: every signal
// whose default is to end the process (INT, TERM, HUP, QUIT, PIPE, USR1, ALRM,
// the real-time ones, ...) first removes every registered temporary and then
// ends the process with the signal's usual status, or with exit status 128 +
// the signal where that is ignored (the first process of a PID namespace). A signal that is ignored,
// or handled by someone else already, is left as it was. SIGXFSZ is ignored,
// so that a file-size limit becomes an ordinary write failure ("File too
// large"). SIGKILL cannot be caught: later conversions into the same
// directory remove what it leaves (host_file_system.cpp).
void installLeftoverGuard();

// Registers the temporary `name` in the open directory `directory`, which
// must stay open until it is forgotten, for removal if the process is
// stopped. Register a name before it is made and forget it once it is gone
// or renamed: removing a name that is not there does no harm, and the
// names carry the process's own mark. Returns a slot for forgetTemporary,
// or -1 when every slot is taken.
int rememberTemporary(int directory, const char* name);
void forgetTemporary(int slot);

}  // namespace vellora
