// Tests of the drawn pictures: the sizes the windows lay out by, and that the two tunnel states tell apart.
#include <QImage>
#include <gtest/gtest.h>

#include "desktop/artwork.h"

namespace quorvane {
namespace {

int countPixels(const QImage& image, bool (*match)(QColor)) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

bool isRed(QColor c) {
    return c.alpha() > 200 && c.red() > 170 && c.green() < 90 && c.blue() < 90;
}
bool isOpaque(QColor c) {
    return c.alpha() > 0;
}

TEST(Artwork, TunnelPicturesAre50PixelsOnTransparentBackground) {
    for (int i = 0; i < kTunnelPictureCount; ++i) {
        const QImage image = tunnelPicture(i).toImage();
        EXPECT_EQ(image.size(), QSize(50, 50)) << "picture " << i;
        EXPECT_TRUE(image.hasAlphaChannel()) << "picture " << i;
        EXPECT_EQ(image.pixelColor(0, 49).alpha(), 0) << "picture " << i;
        EXPECT_GT(countPixels(image, isOpaque), 300) << "picture " << i << " is (nearly) empty";
    }
    for (int bad : {-1, kTunnelPictureCount, 1000}) {
        const QImage image = tunnelPicture(bad).toImage();
        EXPECT_EQ(image.size(), QSize(50, 50));
        EXPECT_EQ(countPixels(image, isOpaque), 0) << "index " << bad;
    }
}

TEST(Artwork, RedShowsOnlyWhereTheLinkIsDown) {
    const QImage disconnected = tunnelPicture(kPictureDisconnected).toImage();
    const QImage connected = tunnelPicture(kPictureConnected).toImage();
    const QImage connecting = tunnelPicture(kPictureConnecting).toImage();
    const QImage failed = tunnelPicture(kPictureFailed).toImage();
    EXPECT_NE(disconnected, connected);
    EXPECT_NE(disconnected, failed);
    EXPECT_GT(countPixels(disconnected, isRed), 40);
    EXPECT_GT(countPixels(failed, isRed), 40);
    EXPECT_EQ(countPixels(connected, isRed), 0);
    EXPECT_EQ(countPixels(connecting, isRed), 0);
}

TEST(Artwork, LogoHasTheSizeTheMainWindowLaysOutBy) {
    EXPECT_EQ(productLogo().size(), QSize(158, 41));
}

} // namespace
} // namespace quorvane
