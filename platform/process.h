// Process set-up done once before the run starts: console behaviour and the
// resource limits a run of many open files needs.
#pragma once

void prepare_process();
