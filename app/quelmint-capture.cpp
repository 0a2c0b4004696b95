// quelmint-capture: the one program of Quelmint that holds a capture privilege. It opens the
// adapter, gives the privilege up and streams the frames to the window that started it.
#include "platform/helper/CaptureHelper.h"

int main(int argc, char** argv) {
    return runCaptureHelper(argc, argv);
}
