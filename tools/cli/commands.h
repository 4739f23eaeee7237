#pragma once

// The subcommands of tallyhost-cli. Each lives in its own file and gets the arguments that
// follow its name (argv[0] is the subcommand's name). Exit codes are the subcommand's own.
// To add one: declare it here, write it in its own file, add a line to the table in main.cpp.

int RunHostSend(int argc, char** argv); // host_send.cpp
int RunAuxSend(int argc, char** argv);  // aux_send.cpp
int RunSend(int argc, char** argv);     // send.cpp
int RunShow(int argc, char** argv);     // send.cpp
int RunFields(int argc, char** argv);   // fields.cpp
int RunStatus(int argc, char** argv);   // statusrc.cpp
int RunRc(int argc, char** argv);       // statusrc.cpp
int RunCheck(int argc, char** argv);    // check.cpp
int RunRun(int argc, char** argv);      // run.cpp
int RunLog(int argc, char** argv);      // log.cpp
