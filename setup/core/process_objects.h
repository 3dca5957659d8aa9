// The setup library's process-wide objects: the system folders (TheSystemFolders), the platform
// version (ThePlatformVersion) and the macro context (TheSetupContext).
//
// Each is built on its first use and never destroyed; BuildProcessObjects builds all of them,
// in that order, and is what a deliverable calls before its own work (the loader at its start,
// the plug-in at the start of every entry point). Like the rest of the library they are for
// one thread: a first use from two threads at once is not guarded.
//
// They are not static objects built and destroyed with the module, on purpose: a DLL's static
// objects are built and destroyed by its entry point while the system's loader lock is held,
// and nothing done then may wait on another thread or load a library that is not already loaded
// (other than a system DLL). Building the system folders loads the optional folder library from
// the folder that was current when the deliverable was loaded or started (RecordStartFolder),
// asks the shell and probes folders for writing, so it must not happen while the plug-in
// loads. For the same reason the folder library is never released: it stays loaded until the
// process ends, also when the plug-in is unloaded before.
#pragma once

void BuildProcessObjects();
