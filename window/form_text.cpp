#include "window/form_text.h"

namespace vellora {

const char* const kHelpText =
    "Vellora is a little program that just changes the timing information for a WAV file so that "
    "it plays back at a different speed. I use the program EasyHi-Q Recorder (Roemer Software) to "
    "record BBC RadioMundo off the web as a WAV file, putting it in C:\\temp. Then I use Vellora "
    "to change the timing and play it back more slowly. You can just drag a WAV file to this form "
    "if you want, or you can type the input file name.";

}  // namespace vellora
