// Standard output's buffer, which keeps the first write error for
// finish_console; installed by prepare_process before the run writes.
#pragma once

void install_standard_output_buffer();
