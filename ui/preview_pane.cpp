#include "ui/preview_pane.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "ui/mime_icons.h"
#include "ui/size_text.h"
#include "ui/spinner.h"
#include "ui/theme.h"

namespace qf {

namespace {

constexpr int kMargin = 12;
// A preview reads at most a few megabytes; a disk that hangs longer than this
// does not keep the program from ending.
constexpr int kPreviewExitWaitMs = 5000;

// Previews get their own small pool, so a slow disk never holds up the
// searches on the global one.
QThreadPool& previewPool() {
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(2);
        pool.setExpiryTimeout(10000);
        // Previews use Qt's globals, which are torn down after the
        // application ends.
        qAddPostRoutine([] { pool.waitForDone(kPreviewExitWaitMs); });
        return true;
    }();
    (void)configured;
    return pool;
}

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The picture scaled to the pane's width (never enlarged), kept in proportion.
class ImageView : public QWidget {
public:
    ImageView(QImage image, QWidget* parent) : QWidget(parent), image_(std::move(image)) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
        if (area.isEmpty() || image_.isNull()) return;
        QSize size = image_.size() / image_.devicePixelRatio();
        if (size.width() > area.width() || size.height() > area.height()) size.scale(area.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), size);
        target.moveCenter(area.center());
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, image_);
    }

private:
    QImage image_;
};

QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setAlignment(Qt::AlignHCenter);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

}  // namespace

PreviewPane::PreviewPane(const Hit& hit, QWidget* parent)
    : QWidget(parent), hit_(hit), cancelled_(std::make_shared<std::atomic<bool>>(false)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* waiting = new QWidget(this);
    auto* waitingLayout = new QVBoxLayout(waiting);
    waitingLayout->addStretch();
    waitingLayout->addWidget(new Spinner(16, waiting), 0, Qt::AlignHCenter);
    waitingLayout->addStretch();
    setContent(waiting);

    connect(&watcher_, &QFutureWatcher<PreviewContent>::finished, this, [this] {
        if (watcher_.future().isValid() && watcher_.future().resultCount() > 0) showContent(watcher_.result());
    });
    const QString path = fromUtf8(hit_.path());
    const auto cancelled = cancelled_;
    watcher_.setFuture(QtConcurrent::run(&previewPool(), [path, cancelled] {
        // A pane replaced before its turn came needs no work done.
        if (cancelled->load()) return PreviewContent{};
        return loadPreview(path);
    }));
}

PreviewPane::~PreviewPane() {
    cancelled_->store(true);
    watcher_.disconnect();
}

void PreviewPane::showContent(const PreviewContent& content) {
    kind_ = content.kind;
    switch (content.kind) {
        case PreviewContent::Kind::image:
            setContent(makeImageView(content.image));
            break;
        case PreviewContent::Kind::text:
            setContent(makeTextView(content));
            break;
        case PreviewContent::Kind::folder:
            setContent(makeFolderView(content));
            break;
        case PreviewContent::Kind::placeholder:
            setContent(makePlaceholder());
            break;
    }
    loaded_ = true;
    emit loaded();
}

void PreviewPane::setContent(QWidget* widget) {
    if (content_) content_->deleteLater();
    content_ = widget;
    layout()->addWidget(widget);
    widget->show();
}

QWidget* PreviewPane::makeImageView(const QImage& image) { return new ImageView(image, this); }

QWidget* PreviewPane::makeTextView(const PreviewContent& content) {
    auto* view = new QPlainTextEdit(this);
    view->setReadOnly(true);
    view->setFrameShape(QFrame::NoFrame);
    view->setFont(theme::monospaceFont(11));
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->document()->setDocumentMargin(kMargin);
    view->setPlainText(content.truncated ? content.text + QStringLiteral("…") : content.text);
    return view;
}

QWidget* PreviewPane::makeFolderView(const PreviewContent& content) {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, kMargin, 0, 0);
    layout->setSpacing(8);
    MimeIconCache icons;
    auto* title = new QLabel(box);
    title->setFont(theme::systemFont(13, QFont::Medium));
    title->setText(fromUtf8(hit_.name()));
    title->setAlignment(Qt::AlignHCenter);
    title->setWordWrap(true);
    layout->addWidget(title);

    auto* list = new QListWidget(box);
    list->setFrameShape(QFrame::NoFrame);
    list->setFont(theme::systemFont(12));
    list->setIconSize(QSize(16, 16));
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    for (const auto& entry : content.entries)
        list->addItem(new QListWidgetItem(icons.iconFor(entry.name, entry.isDir), entry.name));
    if (content.truncated) list->addItem(QStringLiteral("…"));
    layout->addWidget(list, 1);
    return box;
}

QWidget* PreviewPane::makePlaceholder() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(6);
    layout->addStretch();
    MimeIconCache icons;
    auto* icon = new QLabel(box);
    icon->setPixmap(icons.iconFor(fromUtf8(hit_.name()), hit_.isDir()).pixmap(QSize(64, 64), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignHCenter);
    layout->addWidget(icon);
    const QPalette& pal = palette();
    layout->addWidget(label(fromUtf8(hit_.name()), theme::systemFont(13, QFont::Medium), theme::primary(pal), box));
    layout->addWidget(label(fromUtf8(hit_.kind()), theme::systemFont(11), theme::secondary(pal), box));
    layout->addWidget(label(sizeText(hit_), theme::systemFont(11), theme::secondary(pal), box));
    layout->addStretch();
    return box;
}

}  // namespace qf
