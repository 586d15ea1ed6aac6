// Process entry. The program reads no command line: main takes no arguments.
#include "platform/backend.h"
#include "shell/shell.h"

int main() {
    auto ui = tarvello::platform::make_platform();
    tarvello::shell::shell app(*ui);
    app.run();
}
