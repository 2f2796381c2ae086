// The play command: validation, the pair label, the triangle drawn digit by
// digit with a pause after each digit, the percentage and the faces.

#include "play/layout.h"

#include "engine/aisho.h"
#include "ui/mainwindow.h"
#include "ui/msgbox.h"
#include "ui/wait.h"

namespace kanaroll {

namespace {

// Characters of a name: a surrogate pair is one. Counted in place, since a
// batch asks for every pair.
qsizetype codePointCount(QStringView s)
{
    qsizetype n = s.size();
    for (qsizetype i = 0; i + 1 < s.size(); ++i) {
        if (s[i].isHighSurrogate() && s[i + 1].isLowSurrogate()) {
            --n;
            ++i;
        }
    }
    return n;
}

} // namespace

void MainWindow::cmdPlay_Click()
{
    // A click during a fortune or batch would draw two triangles into one
    // picture; it is ignored.
    if (m_running || m_closing)
        return;
    m_running = true;
    Play();
    m_running = false;
}

void MainWindow::KaoHide()
{
    for (int i = 1; i <= 3; ++i) {
        imgwara(i)->setVisible(false);
        imgniko(i)->setVisible(false);
        imgkana(i)->setVisible(false);
    }
}

void MainWindow::Option1_Click(int index)
{
    if (index == 0)
        sngWait = 0.0f;
    else if (index == 1)
        sngWait = 0.005f;
}

void MainWindow::PlayPause()
{
    WaitWithEvents([this] { return m_closing ? 0.0 : static_cast<double>(sngWait); });
}

PlayOutcome MainWindow::Play()
{
    const QString self = txtNamae1->text();
    const QString partner = txtNamae2->text();
    if (self.isEmpty() || partner.isEmpty()) {
        MsgBoxShow(QStringLiteral("名前を入力してください"), QStringLiteral("未入力確認"), MsgKind::WarningNotice, this);
        return {PlayOutcome::EmptyName, -1};
    }

    fraIchiran->setVisible(false);
    fraHide1->setVisible(true);
    KaoHide();
    Picture1->Cls();
    lblCp->setText(self + QStringLiteral(" _ ") + partner);

    const LayoutBand band = layoutBand(codePointCount(self) + codePointCount(partner));
    Picture1->setFontSize(band.fontSize);

    // One row at a time: the drawing needs only the row it draws, and a long
    // pair's whole triangle would not fit in memory.
    AishoRows rows;
    if (!rows.start(std::u16string_view(reinterpret_cast<const char16_t *>(self.utf16()), static_cast<std::size_t>(self.size())),
                    std::u16string_view(reinterpret_cast<const char16_t *>(partner.utf16()),
                                        static_cast<std::size_t>(partner.size())))) {
        MsgBoxShow(QStringLiteral("ひらがな以外の文字が含まれています"), QStringLiteral("文字確認"), MsgKind::WarningNotice,
                   this);
        lblCp->setText(QString());
        return {PlayOutcome::Refused, -1};
    }

    const std::string_view row0 = rows.row();
    const QString row0Text = QString::fromLatin1(row0.data(), static_cast<qsizetype>(row0.size()));
    const std::int64_t x0 = rowZeroX(Picture1->widthTwips(), Picture1->TextWidth(row0Text));
    Picture1->Print(x0, 0, row0Text);

    QString partial;
    while (rows.next()) {
        const std::string_view row = rows.row();
        const RowPos pos = rowPosition(static_cast<std::int64_t>(rows.rowIndex()), band, x0);
        partial.clear();
        for (char digit : row) {
            partial.append(QLatin1Char(digit));
            Picture1->Print(pos.x, pos.y, partial);
            PlayPause();
            if (m_closing)
                return {PlayOutcome::Aborted, -1};
        }
    }

    const int pct = rows.percentage();
    lblKekka->setText(QString::number(pct) + QLatin1Char('%'));
    const std::array<Face, 3> faces = facesFor(pct);
    for (int slot = 1; slot <= 3; ++slot) {
        switch (faces[static_cast<std::size_t>(slot - 1)]) {
        case Face::Wara:
            imgwara(slot)->setVisible(true);
            break;
        case Face::Niko:
            imgniko(slot)->setVisible(true);
            break;
        case Face::Kana:
            imgkana(slot)->setVisible(true);
            break;
        }
    }
    fraHide1->setVisible(false);
    return {PlayOutcome::Shown, pct};
}

} // namespace kanaroll
