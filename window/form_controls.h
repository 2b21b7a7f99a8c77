#pragma once

#include <array>
#include <functional>
#include <string_view>

// The controls of Form1 as both windows, the Qt one and the Win32 one, lay
// them out: one table, free of either toolkit.
namespace vellora {

// In the order of the design's control table; the Win32 window numbers its
// controls from 100 in this order.
enum class Control {
  Label1, Text1, Image1, Label3, Label2, Text2, lblExplore, Label5, Combo1, Image3, Command2,
  Image4, Image5, lblTime, Label6, lblInfo, Label4, Text3, Command3
};
inline constexpr int kControlCount = 19;

enum class ControlKind {
  Label,    // a caption
  Link,     // a caption that is clicked: link colour, italic, underlined
  TextBox,  // a single-line text box
  List,     // a drop-down list the user picks from and cannot type into
  Picture,  // an image that is clicked
  Button,   // a push button
};

enum class Picture { None, Speaker, PauseWhite, PauseRed };

// Positions and sizes in twips: 1440 to the inch, 15 to the pixel at 96 dpi.
struct Twips {
  int left, top, width, height;
};

struct ControlDesign {
  Control id;
  const char* name;  // the designer name, which each toolkit gives its control
  ControlKind kind;
  const char* text;  // the design text or caption
  Twips place;
  bool visible;
  bool tabStop;  // Tab reaches it, in the table's order, when it is visible
  Picture picture;
  // What screen readers say of a picture or link, the description also its
  // tooltip; boxes are named by the caption just before them in the table.
  const char* accessibleName;
  const char* accessibleDescription;
};

// Every control, in tab order; each caption stands just before the box it
// names. The focus starts in Combo1; Tab goes on to the two boxes, then to
// the five actions a click would start.
inline constexpr std::array<ControlDesign, kControlCount> kControls{{
    {Control::Label5, "Label5", ControlKind::Label, "Replay Speed:", {0, 960, 1050, 195}, true, false,
     Picture::None, nullptr, nullptr},
    {Control::Combo1, "Combo1", ControlKind::List, "", {1320, 960, 3495, 315}, true, true, Picture::None,
     nullptr, nullptr},
    {Control::Label1, "Label1", ControlKind::Label, "Input Filename:", {0, 240, 1815, 255}, true, false,
     Picture::None, nullptr, nullptr},
    {Control::Text1, "Text1", ControlKind::TextBox, "C:\\temp\\in.wav", {1320, 240, 3495, 375}, true, true,
     Picture::None, nullptr, nullptr},
    {Control::Label2, "Label2", ControlKind::Label, "Output Directory:", {0, 600, 1815, 255}, true, false,
     Picture::None, nullptr, nullptr},
    {Control::Text2, "Text2", ControlKind::TextBox, "C:\\temp\\vellora\\", {1320, 600, 3495, 375}, true,
     true, Picture::None, nullptr, nullptr},
    {Control::Image1, "Image1", ControlKind::Picture, "", {4920, 240, 285, 285}, true, true,
     Picture::Speaker, "Play the input file", "Plays the input file"},
    {Control::Label3, "Label3", ControlKind::Link, "latest", {5280, 240, 855, 375}, true, true, Picture::None,
     "latest", "Puts the newest recording in C:\\temp into the input filename"},
    {Control::lblExplore, "lblExplore", ControlKind::Link, "explore...", {4920, 670, 855, 375}, true, true,
     Picture::None, "explore...", "Opens the output directory"},
    {Control::Image3, "Image3", ControlKind::Picture, "", {4920, 1080, 285, 285}, true, true,
     Picture::Speaker, "Convert and play", "Copies the input file at the replay speed and plays the copy"},
    {Control::Label6, "Label6", ControlKind::Link, "What's this?", {2760, 1440, 1095, 375}, true, true,
     Picture::None, "What's this?", "Tells what Vellora does"},
    {Control::lblInfo, "lblInfo", ControlKind::Label, "", {1320, 1800, 3495, 615}, true, false,
     Picture::None, nullptr, nullptr},
    // The media controls: created hidden, and nothing shows them.
    {Control::Command2, "Command2", ControlKind::Button, "Stop", {5880, 1080, 975, 375}, false, true,
     Picture::None, nullptr, nullptr},
    {Control::Image4, "Image4", ControlKind::Picture, "", {1080, 1320, 450, 495}, false, false,
     Picture::PauseWhite, "Pause", "Pauses the playback"},
    {Control::Image5, "Image5", ControlKind::Picture, "", {1560, 1320, 450, 495}, false, false,
     Picture::PauseRed, "Resume", "Resumes the playback"},
    {Control::lblTime, "lblTime", ControlKind::Label, "", {3720, 1320, 1095, 375}, false, false,
     Picture::None, nullptr, nullptr},
    {Control::Label4, "Label4", ControlKind::Label, "Command:", {0, 2280, 1815, 255}, false, false,
     Picture::None, nullptr, nullptr},
    {Control::Text3, "Text3", ControlKind::TextBox, "", {1320, 2280, 3495, 375}, false, true, Picture::None,
     nullptr, nullptr},
    {Control::Command3, "Command3", ControlKind::Button, "Execute", {4920, 2280, 975, 375}, false, true,
     Picture::None, nullptr, nullptr},
}};

constexpr const ControlDesign& designOf(Control id) {
  for (const ControlDesign& c : kControls)
    if (c.id == id) return c;
  return kControls.front();  // unreachable: every control has a row
}

// The window's client area and caption at design time.
inline constexpr int kFormWidthTwips = 6270;
inline constexpr int kFormHeightTwips = 2415;
inline constexpr std::string_view kFormCaption = "Vellora";
inline constexpr int kTimer1IntervalMs = 1;
// The captions on the left end before the boxes start, at 1320 twips, with
// two pixels to spare.
inline constexpr int kCaptionRoomTwips = 1290;

// The largest font size from `largest` down to `smallest` at which every
// visible caption of the left column fits `room` pixels, as `width` measures
// a caption at a size: a font wider than the classic one would run under the
// boxes. `smallest` when none fits.
int captionFontSize(int largest, int smallest, int room,
                    const std::function<int(int size, std::string_view caption)>& width);

}  // namespace vellora
