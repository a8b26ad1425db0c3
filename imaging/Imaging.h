// Start-up registrations of the image library: the GIF picture type with its
// clipboard format, the icon clipboard format and the hand cursors. The
// program entry calls RegisterImagingFormats once; later calls do nothing.
#pragma once

void RegisterImagingFormats();
// Takes the GIF picture type off the picture system again.
void UnregisterImagingFormats();
