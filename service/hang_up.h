// SIGHUP for korvalux-service, caught from the first line of main until the
// process ends: the handler only writes a byte into a pipe, which the server
// watches while it serves (PosixHost). Before serving starts and after it stops
// a hang-up waits in the pipe or is dropped; it never meets the default action,
// which would end the process.
#pragma once

namespace korvalux::service
{

// Installs the handler once; returns the pipe's reading end (non-blocking,
// readable once a SIGHUP came), or -1 when no pipe could be made, SIGHUP then
// being ignored. The handler stays for the life of the process.
int catchHangUps();

// Empties the pipe; true when at least one SIGHUP had come.
bool takeHangUps(int fd);

} // namespace korvalux::service
