// The layout picture and its legend.
#include "ui/layout_view.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <map>

namespace {

constexpr int MARGIN = 6;
constexpr int LABEL_WIDTH = 60;
constexpr int FREE_LABEL_WIDTH = 150;
constexpr int BAR_HEIGHT = 18;
constexpr int ROW_GAP = 6;
constexpr int HEADING_HEIGHT = 20;

const QColor PALETTE[] = {QColor(0x4e, 0x79, 0xa7), QColor(0xf2, 0x8e, 0x2b),
                          QColor(0x59, 0xa1, 0x4f), QColor(0xb0, 0x7a, 0xa1),
                          QColor(0xed, 0xc9, 0x48), QColor(0x76, 0xb7, 0xb2),
                          QColor(0xff, 0x9d, 0xa7), QColor(0x9c, 0x75, 0x5f)};
constexpr int PALETTE_SIZE = int(sizeof PALETTE / sizeof PALETTE[0]);
const QColor FREE_COLOUR(0xee, 0xee, 0xee);
const QColor SLOP_COLOUR(0xbb, 0xbb, 0xbb);

uint64_t rounded(uint64_t bytes, uint32_t cluster) {
    if (cluster == 0) return bytes;
    return (bytes + cluster - 1) / cluster * cluster;
}

QString bytes_text(uint64_t bytes) {
    return LayoutView::tr("%1 bytes").arg(QLocale().toString(qulonglong(bytes)));
}

QString file_tip(const LayoutFile& file) {
    QString piece = file.piece == 0
                        ? LayoutView::tr("Whole file")
                        : LayoutView::tr("Piece %1 of %2").arg(file.piece).arg(file.pieces);
    return LayoutView::tr("Source: %1\nOn the disk: %2\n%3\n%4")
        .arg(QString::fromStdString(file.source), QString::fromStdString(file.name), piece,
             bytes_text(file.bytes));
}

// The segments of one disk's bar at `y`, after those of `segments`.
void disk_segments(const LayoutDisk& disk, const LayoutMedium& medium, int bar_width, int y,
                   std::map<std::string, int>* colours, std::map<std::string, int>* open_pieces,
                   std::vector<LayoutSegment>* segments) {
    double scale = medium.capacity ? double(bar_width) / medium.capacity : 0;
    int x = MARGIN + LABEL_WIDTH;
    double used = 0;
    for (const LayoutFile& file : disk.files) {
        double from = used;
        used += double(rounded(file.bytes, medium.cluster_size)) * scale;
        LayoutSegment segment;
        segment.rect = QRect(x + int(from), y, std::max(int(used) - int(from), 1), BAR_HEIGHT);
        segment.tip = file_tip(file);
        // One colour per Source, so that the pieces of a file share it.
        segment.colour =
            colours->emplace(file.source, int(colours->size()) % PALETTE_SIZE).first->second;
        int index = int(segments->size());
        auto earlier = open_pieces->find(file.source);
        if (file.piece > 1 && earlier != open_pieces->end())
            (*segments)[size_t(earlier->second)].link = index;
        if (file.piece != 0) (*open_pieces)[file.source] = index;
        segments->push_back(segment);
    }
    uint64_t slop = std::min<uint64_t>(medium.slop, disk.bytes_left);
    uint64_t free_bytes = disk.bytes_left - slop;
    LayoutSegment free_space;
    free_space.kind = SEGMENT_FREE;
    int free_width = int(used + double(free_bytes) * scale) - int(used);
    free_space.rect = QRect(x + int(used), y, std::max(free_width, 0), BAR_HEIGHT);
    free_space.tip =
        LayoutView::tr("Free on disk %1\n%2").arg(disk.number).arg(bytes_text(free_bytes));
    free_space.label = LayoutView::tr("%1 free").arg(bytes_text(free_bytes));
    segments->push_back(free_space);
    if (slop == 0) return;
    LayoutSegment kept;
    kept.kind = SEGMENT_SLOP;
    int at = free_space.rect.x() + free_space.rect.width();
    kept.rect = QRect(at, y, std::max(x + bar_width - at, 1), BAR_HEIGHT);
    kept.tip =
        LayoutView::tr("Slop kept free on disk %1\n%2").arg(disk.number).arg(bytes_text(slop));
    segments->push_back(kept);
}

// The heading of a product's disks: its name and how many disks it takes.
QString heading(const ProductLayout& layout) {
    QString product = QString::fromStdString(layout.product);
    if (layout.disks.size() == 1) return LayoutView::tr("%1: 1 disk").arg(product);
    return LayoutView::tr("%1: %2 disks").arg(product).arg(layout.disks.size());
}

}  // namespace

std::vector<LayoutSegment> layout_segments(const std::vector<ProductLayout>& layouts,
                                           const LayoutMedium& medium, int width, int* height) {
    std::vector<LayoutSegment> segments;
    int bar_width = std::max(width - LABEL_WIDTH - FREE_LABEL_WIDTH - 2 * MARGIN, 40);
    int y = MARGIN;
    for (const ProductLayout& layout : layouts) {
        y += HEADING_HEIGHT;
        std::map<std::string, int> open_pieces;  // the last piece seen of each split file
        std::map<std::string, int> colours;
        for (const LayoutDisk& disk : layout.disks) {
            disk_segments(disk, medium, bar_width, y, &colours, &open_pieces, &segments);
            y += BAR_HEIGHT + ROW_GAP;
        }
    }
    *height = layouts.empty() ? 0 : y + MARGIN;
    return segments;
}

QColor layout_segment_colour(const LayoutSegment& segment) {
    switch (segment.kind) {
        case SEGMENT_FREE:
            return FREE_COLOUR;
        case SEGMENT_SLOP:
            return SLOP_COLOUR;
        case SEGMENT_FILE:
            break;
    }
    return PALETTE[segment.colour % PALETTE_SIZE];
}

LayoutView::LayoutView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void LayoutView::set_layouts(const std::vector<ProductLayout>& layouts,
                             const LayoutMedium& medium) {
    layouts_ = layouts;
    medium_ = medium;
    relayout();
    updateGeometry();
    update();
}

void LayoutView::clear() {
    set_layouts({}, medium_);
}

void LayoutView::relayout() {
    segments_ = layout_segments(layouts_, medium_, width(), &height_);
}

void LayoutView::resizeEvent(QResizeEvent*) {
    relayout();
}

QSize LayoutView::sizeHint() const {
    return minimumSizeHint();
}

// The bars' height does not depend on the width: every product's disks fit.
QSize LayoutView::minimumSizeHint() const {
    int height = 0;
    (void)layout_segments(layouts_, medium_, 400, &height);
    return QSize(LABEL_WIDTH + FREE_LABEL_WIDTH + 2 * MARGIN + 120, height);
}

QString LayoutView::tip_at(const QPoint& at) const {
    for (const LayoutSegment& segment : segments_)
        if (segment.rect.contains(at)) return segment.tip;
    return "";
}

bool LayoutView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        QHelpEvent* help = static_cast<QHelpEvent*>(event);
        QString tip = tip_at(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void LayoutView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    int y = MARGIN;
    painter.setPen(palette().text().color());
    for (const ProductLayout& layout : layouts_) {
        painter.drawText(QRect(MARGIN, y, width() - 2 * MARGIN, HEADING_HEIGHT),
                         Qt::AlignLeft | Qt::AlignVCenter, heading(layout));
        y += HEADING_HEIGHT;
        for (const LayoutDisk& disk : layout.disks) {
            painter.drawText(QRect(MARGIN, y, LABEL_WIDTH - 4, BAR_HEIGHT),
                             Qt::AlignLeft | Qt::AlignVCenter, tr("Disk %1").arg(disk.number));
            y += BAR_HEIGHT + ROW_GAP;
        }
    }
    int bar_end = width() - MARGIN - FREE_LABEL_WIDTH;
    for (const LayoutSegment& s : segments_) {
        painter.fillRect(s.rect, layout_segment_colour(s));
        if (s.kind == SEGMENT_SLOP) painter.fillRect(s.rect, QBrush(Qt::gray, Qt::BDiagPattern));
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.drawRect(s.rect.adjusted(0, 0, -1, -1));
        if (!s.label.isEmpty()) {
            painter.setPen(palette().text().color());
            painter.drawText(QRect(bar_end + 6, s.rect.y(), FREE_LABEL_WIDTH - 6, BAR_HEIGHT),
                             Qt::AlignLeft | Qt::AlignVCenter, s.label);
        }
    }
    // A split file's pieces are linked from the end of one to the start of the next.
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2, Qt::DashLine));
    for (const LayoutSegment& s : segments_)
        if (s.link >= 0) {
            const QRect& next = segments_[size_t(s.link)].rect;
            painter.drawLine(QPoint(s.rect.right(), s.rect.bottom()),
                             QPoint(next.left(), next.top()));
        }
}

namespace {

QLabel* swatch(const QColor& colour, bool hatched) {
    QPixmap pixmap(14, 14);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    if (hatched) painter.fillRect(pixmap.rect(), QBrush(Qt::gray, Qt::BDiagPattern));
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    QLabel* label = new QLabel;
    label->setPixmap(pixmap);
    return label;
}

}  // namespace

LayoutLegend::LayoutLegend(QWidget* parent) : QWidget(parent) {
    QHBoxLayout* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) row->addWidget(swatch(PALETTE[i], false));
    QLabel* files =
        new QLabel(tr("A file, one colour each; the pieces of a split file share "
                      "theirs, joined by a dashed line"));
    files->setObjectName("legend_file");
    row->addWidget(files);
    row->addSpacing(12);
    row->addWidget(swatch(FREE_COLOUR, false));
    QLabel* free_space = new QLabel(tr("Free space"));
    free_space->setObjectName("legend_free");
    row->addWidget(free_space);
    row->addSpacing(12);
    row->addWidget(swatch(SLOP_COLOUR, true));
    QLabel* slop = new QLabel(tr("Slop kept free"));
    slop->setObjectName("legend_slop");
    row->addWidget(slop);
    row->addStretch();
}
