// Drop zones: what a drop stores and what it posts to the owner.

#include "ui/qt/DropStatic.h"
#include "ui/qt/PrivateMessage.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace qorlu::gui {
namespace {

// The owner window: counts the events of one type and records, when each
// arrives, the path its zone holds at that moment.
class Owner : public QObject {
public:
    Owner(int type, const CDropStatic* zone) : m_type(type), m_zone(zone) {}
    bool event(QEvent* e) override {
        if (static_cast<int>(e->type()) == m_type) {
            seen.push_back(m_zone->m_strPath);
            return true;
        }
        return QObject::event(e);
    }
    std::vector<std::string> seen;

private:
    int m_type;
    const CDropStatic* m_zone;
};

std::string Native(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString(); }

// A zone wired like a main window wires its zones.
struct Wired {
    CDropStatic zone;
    Owner owner{kWmDropImport, &zone};
    Wired() {
        zone.m_pOwner = &owner;
        zone.m_nMessage = kWmDropImport;
    }
};

TEST(DropStatic, ThreeFilesStoreOnlyTheFirstAndPostOnce) {
    Wired w;
    w.zone.OnDropFiles({"/data/one.bin", "/data/two.bin", "/data/three.bin"});
    EXPECT_EQ(w.zone.m_strPath, Native("/data/one.bin"));
    EXPECT_TRUE(w.owner.seen.empty()) << "posted, not sent";
    QCoreApplication::processEvents();
    ASSERT_EQ(w.owner.seen.size(), 1u);
    EXPECT_EQ(w.owner.seen[0], Native("/data/one.bin"));
}

TEST(DropStatic, TwoDropsPostTwiceAndEachHandlerSeesItsOwnPath) {
    Wired w;
    w.zone.OnDropFiles({"/data/first.dat"});
    QCoreApplication::processEvents();
    w.zone.OnDropFiles({"/data/second.dat"});
    QCoreApplication::processEvents();
    EXPECT_EQ(w.owner.seen, (std::vector<std::string>{Native("/data/first.dat"), Native("/data/second.dat")}));
}

TEST(DropStatic, EmptyDropKeepsThePathAndPostsNothing) {
    Wired w;
    w.zone.OnDropFiles({"/data/kept.dat"});
    QCoreApplication::processEvents();
    w.zone.OnDropFiles({});
    QCoreApplication::processEvents();
    EXPECT_EQ(w.zone.m_strPath, Native("/data/kept.dat"));
    EXPECT_EQ(w.owner.seen.size(), 1u);
}

TEST(DropStatic, ZoneWithoutOwnerStoresThePathOnly) {
    CDropStatic zone;
    zone.OnDropFiles({"/data/alone.dat"});
    QCoreApplication::processEvents();
    EXPECT_EQ(zone.m_strPath, Native("/data/alone.dat"));
}

TEST(DropStatic, LongPathsAreKeptWhole) {
    Wired w;
    QString path = "/data";
    while (path.size() < 600) path += "/a_rather_long_folder_name";
    path += "/file.bin";
    w.zone.OnDropFiles({path});
    EXPECT_EQ(w.zone.m_strPath, Native(path));
    EXPECT_GT(w.zone.m_strPath.size(), 600u);
}

TEST(DropStatic, NonAsciiPathsKeepTheFileSystemEncoding) {
    Wired w;
    const QString path = QString::fromUtf8("/data/\xC3\xA9t\xC3\xA9/caf\xC3\xA9.bin");
    w.zone.OnDropFiles({path});
    EXPECT_EQ(QFile::decodeName(QByteArray::fromStdString(w.zone.m_strPath)), QDir::toNativeSeparators(path));
}

QMimeData* UrlData(const QList<QUrl>& urls) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

struct DragCase {
    const char* name;
    QList<QUrl> urls;
    bool accepted;
    std::string stored; // path after the drop, empty when refused
};

class DropEvents : public ::testing::TestWithParam<DragCase> {};

TEST_P(DropEvents, OnlyLocalFilesAreTaken) {
    const DragCase& dc = GetParam();
    Wired w;
    std::unique_ptr<QMimeData> data(UrlData(dc.urls));

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w.zone, &enter);
    EXPECT_EQ(enter.isAccepted(), dc.accepted);

    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w.zone, &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.zone.m_strPath, dc.stored);
    EXPECT_EQ(w.owner.seen.size(), dc.accepted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Drags, DropEvents,
    ::testing::Values(DragCase{"OneFile", {QUrl::fromLocalFile("/data/tex.bin")}, true, Native("/data/tex.bin")},
                      DragCase{"ThreeFiles",
                               {QUrl::fromLocalFile("/data/a.bin"), QUrl::fromLocalFile("/data/b.bin"),
                                QUrl::fromLocalFile("/data/c.bin")},
                               true,
                               Native("/data/a.bin")},
                      DragCase{"WebLinkOnly", {QUrl("https://example.org/a.bin")}, false, ""},
                      DragCase{"WebLinkThenFile",
                               {QUrl("https://example.org/a.bin"), QUrl::fromLocalFile("/data/b.bin")},
                               true,
                               Native("/data/b.bin")},
                      DragCase{"NoUrls", {}, false, ""}),
    [](const ::testing::TestParamInfo<DragCase>& p) { return std::string(p.param.name); });

} // namespace
} // namespace qorlu::gui
