// talvek: touchpad gestures for moving between desktops and dragging windows.
#include "app/run_sequence.h"

// The program takes nothing from the command line or the environment.
int main(int, char**, char**) {
    return RunTalvek();
}
