// The once-per-run choice of the work procedure, the removal rule and the clearing routine.
#pragma once

// Fills workprocedure, RemoveRoutine, workflush and ClearRoutine for the current job.
void ChooseSieveProcedures();
