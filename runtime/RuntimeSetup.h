// The run-time's assembly: the one explicit list of the subsystems' start-up
// steps, in their order, for the host to run at its fixed points.
#pragma once

struct SubsystemSetup;

// The list (static, never freed).
const SubsystemSetup& RuntimeSubsystemSetup();
// Installs that list in the host: the executable's entry and test programs
// call it before they start the host.
void InstallRuntimeSubsystems();
