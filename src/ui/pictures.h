#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace kanaroll {

// Every picture the window shows. Each is drawn from an SVG source in the
// resources and rendered at its own pixel size, never scaled from a bitmap.
enum class Picture {
    Heart,     // window icon, cmdPlay
    Spade,     // cmdHozon
    Help,      // cmdHelp
    Exit,      // cmdEnd
    FaceWara,  // laughing face
    FaceNiko,  // smiling face
    FaceKana,  // glum face
    SortAZ,    // cmdNaz, cmdKaz
    SortZA,    // cmdNza, cmdKza
    Print,     // cmdIPrint
    Save,      // cmdIHozon
    TitleLogo, // Image1
    Teaser,    // Image2
};

inline constexpr Picture allPictures[] = {
    Picture::Heart,    Picture::Spade,    Picture::Help,   Picture::Exit,   Picture::FaceWara,
    Picture::FaceNiko, Picture::FaceKana, Picture::SortAZ, Picture::SortZA, Picture::Print,
    Picture::Save,     Picture::TitleLogo, Picture::Teaser,
};

// True for the icons, which come in a 32 x 32 and a simplified 16 x 16 drawing.
bool isIcon(Picture picture);

// The size at which the window shows the picture: 32 x 32 for icons, 16 x 16
// for the small bitmaps, 296 x 63 for the logo and 259 x 45 for the teaser.
QSize pictureSize(Picture picture);

// The picture rendered at devicePixelRatio times its size. size picks the 16 or
// 32 drawing of an icon; 0 means the listed size, and other pictures have only
// their listed size. The result is empty for a size the picture does not have.
QImage pictureImage(Picture picture, int size = 0, qreal devicePixelRatio = 1.0);

// As pictureImage, as a pixmap; a devicePixelRatio of 0 means that of the
// application, so the pixmap stays crisp on high-density screens.
QPixmap pixmap(Picture picture, int size = 0, qreal devicePixelRatio = 0);

// An icon that renders the 16 or 32 drawing afresh for each requested size and
// device pixel ratio. Pictures that are not icons give their one size.
QIcon icon(Picture picture);

} // namespace kanaroll
