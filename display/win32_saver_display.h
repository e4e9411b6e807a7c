// What the Windows screensaver host takes from its command line before the run starts.
#pragma once

// Reads how Windows started the saver; for the settings dialog, shows it and ends the process
// there.
void take_saver_command_line();
