// How long the results table takes to take in a full result list (1000 rows,
// formatted once) and to paint a window's worth of rows while scrolling.
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QPixmap>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/desktop_services.h"
#include "model/hit_sort.h"
#include "model/model.h"
#include "ui/results_table_model.h"
#include "ui/results_view.h"

namespace {

class NoDesktop : public qf::DesktopServices {
public:
    void openItem(const std::string&) override {}
};

std::vector<qf::Hit> sampleHits(int count) {
    const char* suffixes[] = {".pdf", ".txt", ".jpg", ".cpp", ".docx", "", ".tar.gz", ".md"};
    std::vector<qf::Hit> hits;
    hits.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string name = "报告 report " + std::to_string(i) + suffixes[i % 8];
        const std::string path =
            "/home/user/文档/projects/quillfind/very/deep/folder/level" + std::to_string(i % 37) + "/" + name;
        const bool dir = suffixes[i % 8][0] == '\0';
        hits.emplace_back(path, name, dir, dir ? -1 : 1000LL * i + 17, 1.7e9 + i * 3600.0, 1.6e9 + i * 7200.0,
                          dir ? "文件夹" : "文档");
    }
    return hits;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    const auto hits = sampleHits(1000);

    {
        qf::ResultsTableModel table;
        table.setHits(hits);  // warms the icon cache and ICU data
        constexpr int rounds = 20;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < rounds; ++i) table.setHits(hits);
        std::printf("table takes 1000 rows (texts and icons formatted when shown): %.2f ms per list\n",
                    static_cast<double>(timer.nsecsElapsed()) / 1e6 / rounds);
    }

    NoDesktop desktop;
    qf::Model model(desktop);
    qf::ResultsView view(model);
    view.resize(980, 560);
    view.show();
    view.tableModel().setHits(hits);
    QApplication::processEvents();

    QPixmap canvas(view.viewport()->size());
    {
        // The main thread's share of one publication: the table takes the
        // worker's list, the Model sorts it and the table takes it again,
        // then the rows on screen are painted.
        constexpr int rounds = 20;
        std::vector<double> ms;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            view.tableModel().setHits(hits);
            std::vector<qf::Hit> sorted = hits;
            qf::sortHits(sorted, qf::SortKey::name, i % 2 == 0);
            view.tableModel().setHits(sorted);
            view.viewport()->render(&canvas);
            ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("worker result of 1000 hits -> sorted, rows painted: %.2f ms (median of %d)\n", ms[rounds / 2],
                    rounds);
    }
    QScrollBar* bar = view.verticalScrollBar();
    const int step = bar->pageStep() / 4;
    int frames = 0;
    QElapsedTimer timer;
    timer.start();
    for (int pass = 0; pass < 3; ++pass) {
        for (int value = bar->minimum(); value <= bar->maximum(); value += step) {
            bar->setValue(value);
            view.viewport()->render(&canvas);
            ++frames;
        }
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("paint %d frames of %dx%d while scrolling 1000 rows: %.3f ms per frame (%.0f frames/s)\n", frames,
                canvas.width(), canvas.height(), ms / frames, frames * 1000.0 / ms);
    return 0;
}
