// The toolkit's own texts (context menus, dialog buttons) read Japanese once
// its translation is installed, like the rest of the window.
#include "ui/translations.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <memory>

class TstTranslations : public QObject {
    Q_OBJECT
private slots:
    void toolkitTextsAreJapanese();
};

void TstTranslations::toolkitTextsAreJapanese()
{
    QVERIFY2(kanaroll::installToolkitTranslation(),
             qPrintable("no qtbase_ja.qm under " + kanaroll::toolkitTranslationFolder()));

    QLineEdit edit;
    edit.setText(QStringLiteral("あい"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    // Undo, Redo, Cut, Copy, Paste, Delete, Select All.
    for (const QString &wanted : {QStringLiteral("元に戻す"), QStringLiteral("切り取り"), QStringLiteral("コピー"),
                                  QStringLiteral("貼り付け"), QStringLiteral("すべてを選択")})
        QVERIFY2(texts.join(u'|').contains(wanted), qPrintable(texts.join(u'|') + " lacks " + wanted));

    QDialogButtonBox box(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text().remove(QStringLiteral("(&C)")), QStringLiteral("キャンセル"));
}

QTEST_MAIN(TstTranslations)
#include "tst_translations.moc"
