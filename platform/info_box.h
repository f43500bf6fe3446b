#pragma once

class QWidget;

namespace velmora {

// Makes show_info open a modal information box titled "Velmora" with a single
// OK button, over the active window. The Qt program calls it once at start.
void install_info_box();

// While the saver's full-screen window is up (a Test run or the saver
// itself), information boxes open over that window instead, stay on top as it
// does and take the keyboard: a box under it could be neither seen nor
// answered. Nothing (or the window's end) makes them open over the active
// window again.
void set_info_box_owner(QWidget* window);

} // namespace velmora
