// The program's pictures, drawn in code: tunnel states, the product logo and the program icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace quorvane {

// Tunnel pictures, 50 x 50 on a transparent background, by index:
enum TunnelPicture {
    kPictureDisconnected = 0, // two computers crossed out in red
    kPictureConnected = 1,    // two computers joined
    kPictureOneComputer = 2,
    kPictureNetwork = 3,
    kPictureConnecting = 4, // two computers, the link waiting (amber)
    kPictureFailed = 5,     // two computers, the link down with a warning (red)
};
constexpr int kTunnelPictureCount = 6;
constexpr int kTunnelPictureSize = 50;

// Returns a new pixmap; an index outside 0..5 gives a fully transparent 50 x 50 picture.
QPixmap tunnelPicture(int index);

// tunnelPicture as an icon, drawn once per index and shared by every caller, so a list of many
// tunnels holds a handful of pictures. Needs a QGuiApplication; released when it ends.
QIcon tunnelIcon(int index);

// The product name with its mark, 158 x 41 on white.
QPixmap productLogo();

// The program's icon, drawn separately at 16, 32 and 48 pixels; with a green dot in its corner when
// some tunnel is up (the notification area's picture).
QIcon programIcon(bool tunnelUp = false);

// One picture of the program's icon, drawn at the given size (the package's icons come from here).
QPixmap programIconPixmap(int size, bool tunnelUp = false);

} // namespace quorvane
