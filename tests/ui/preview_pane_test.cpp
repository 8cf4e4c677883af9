// The preview pane loads off the main thread and shows what it loaded.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QTest>

#include "ui/preview_pane.h"
#include "ui_test_support.h"

namespace qf {
namespace {

using Kind = PreviewContent::Kind;

class PreviewPaneTest : public ::testing::Test {
protected:
    void SetUp() override { test::app(); }

    std::unique_ptr<PreviewPane> loadedPane(const Hit& hit) {
        auto pane = std::make_unique<PreviewPane>(hit);
        pane->resize(320, 600);
        pane->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return pane->isLoaded(); }, 8000));
        return pane;
    }

    test::Sandbox box;
};

TEST_F(PreviewPaneTest, EachKindOfFileGetsItsView) {
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const QString png = box.path(QStringLiteral("p.png"));
    picture.save(png);
    const QString pdf = box.path(QStringLiteral("d.pdf"));
    {
        QPdfWriter writer(pdf);
        QPainter painter(&writer);
        painter.drawText(100, 100, QStringLiteral("page one"));
    }
    const QString text = box.writeFile(QStringLiteral("t.txt"), "hello\n");
    const QString folder = box.makeFolder(QStringLiteral("f"));
    box.writeFile(QStringLiteral("f/inside.txt"), "x");
    const QString other = box.writeFile(QStringLiteral("o.bin"), QByteArray("\0\1\2\3", 4));

    struct Case {
        QString path;
        bool isDir;
        Kind kind;
    };
    std::vector<Case> cases{{png, false, Kind::image}, {text, false, Kind::text}, {folder, true, Kind::folder},
                            {other, false, Kind::placeholder}};
#ifdef QF_HAVE_QTPDF
    cases.push_back({pdf, false, Kind::image});
#endif
    for (const Case& c : cases) {
        const std::string path = c.path.toStdString();
        const Hit hit = c.isDir ? test::folderHit(path) : test::fileHit(path, 4);
        auto pane = loadedPane(hit);
        EXPECT_EQ(pane->kind(), c.kind) << path;
        EXPECT_EQ(pane->path(), path);
        ASSERT_NE(pane->contentWidget(), nullptr);
        EXPECT_TRUE(pane->contentWidget()->isVisible()) << path;
    }
}

TEST_F(PreviewPaneTest, FolderViewListsTheEntries) {
    const QString folder = box.makeFolder(QStringLiteral("f"));
    box.writeFile(QStringLiteral("f/b.txt"), "x");
    box.makeFolder(QStringLiteral("f/a"));
    auto pane = loadedPane(test::folderHit(folder.toStdString()));
    auto* list = pane->contentWidget()->findChild<QListWidget*>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("a"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("b.txt"));
}

TEST_F(PreviewPaneTest, PlaceholderShowsNameKindAndSize) {
    const QString other = box.writeFile(QStringLiteral("archive.bin"), QByteArray(2500, '\0'));
    auto pane = loadedPane(test::fileHit(other.toStdString(), 2500, std::nullopt, std::nullopt, "Binary"));
    QStringList texts;
    for (const QLabel* label : pane->contentWidget()->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("archive.bin"))) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Binary")));
    EXPECT_TRUE(texts.contains(QStringLiteral("3 KB")))
        << texts.join('|').toStdString();
}

TEST_F(PreviewPaneTest, AFileDeletedSinceTheSearchGetsThePlaceholder) {
    auto pane = loadedPane(test::fileHit(box.path(QStringLiteral("gone.txt")).toStdString(), 10));
    EXPECT_EQ(pane->kind(), Kind::placeholder);
}

TEST_F(PreviewPaneTest, APaneDestroyedWhileLoadingDeliversNothing) {
    const QString text = box.writeFile(QStringLiteral("t.txt"), "hello\n");
    int loads = 0;
    {
        PreviewPane pane(test::fileHit(text.toStdString(), 6));
        QObject::connect(&pane, &PreviewPane::loaded, [&] { ++loads; });
    }
    QTest::qWait(200);
    EXPECT_EQ(loads, 0);
}

}  // namespace
}  // namespace qf
