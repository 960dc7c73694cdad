// The wait for one key press, read raw from the console's own input device.
#ifndef TANDREL_CONSOLE_KEY_WAIT_H
#define TANDREL_CONSOLE_KEY_WAIT_H

// Returns the key's character (1 to 255), the first code of an extended key
// (0 or 224), or -1 at once when the console cannot be read.
int wait_for_key();

#endif
