#pragma once

// What a fortune shows, as a plain value. A play writes it; the window takes
// it on only when it next processes events (a pause, a message box, the end of
// the play or batch), touching only the controls whose value changed. So a
// quick batch costs no widget work per pair.

#include "play/layout.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace kanaroll {

// One string drawn on the picture; its text cell's top-left corner in twips.
struct PlacedText {
    qint64 x;
    qint64 y;
    QString text;

    friend bool operator==(const PlacedText &, const PlacedText &) = default;
};

// The pictures a face slot shows, one bit each (the design state shows all three).
enum FaceBit : std::uint8_t { kNoFace = 0, kWaraBit = 1, kNikoBit = 2, kKanaBit = 4, kAllFaces = 7 };
std::uint8_t faceBit(Face f);

struct DisplayState {
    QString pair;                    // lblCp
    QString kekka;                   // lblKekka
    int fontSize = 0;                // Picture1's font, points
    std::vector<PlacedText> texts;   // Picture1's drawing
    std::array<std::uint8_t, 3> faces{kAllFaces, kAllFaces, kAllFaces}; // slots 1 to 3
    bool covered = true;             // fraHide1 shown
    bool ichiranShown = false;       // fraIchiran shown
    QString name1;                   // txtNamae1
    QString name2;                   // txtNamae2

    void cls() { texts.clear(); }
    // Draws a string; the growing row drawn again at its place replaces itself.
    void print(qint64 x, qint64 y, QString s);

    friend bool operator==(const DisplayState &, const DisplayState &) = default;
};

// Hides all nine face images.
void KaoHide(DisplayState &s);

// What one fortune came to, for a caller such as the batch run.
struct PlayOutcome {
    enum Kind {
        Shown,     // steps ran to the end; percentage holds the result
        EmptyName, // a box was empty; nothing changed
        Refused,   // a character outside the table
        Busy,      // another fortune or batch was under way; ignored
        Aborted,   // the program is closing
    };
    Kind kind = Busy;
    int percentage = -1;
};

enum class PlayMessage { EmptyName, Refused };

// What a fortune needs of the window.
struct PlayHooks {
    // Width of a string in the picture's font at the given size, in twips.
    std::function<double(int points, const QString &s)> textWidth;
    // True while digits are drawn one at a time (the animated mode); read before every digit.
    std::function<bool()> animated;
    // After each digit in the animated mode, after each row in the quick one.
    // False ends the fortune: the program is closing.
    std::function<bool()> pause;
    // A warning box; it returns when the box is closed.
    std::function<void(PlayMessage)> message;
};

// The play command on the state: the names are read from name1 and name2.
// Rows below the picture are paced as usual but not kept: nobody sees them,
// and a long pair's whole triangle would not fit in memory.
PlayOutcome playFortune(DisplayState &s, int pictureWidthTwips, int pictureHeightTwips, const PlayHooks &hooks);

} // namespace kanaroll
