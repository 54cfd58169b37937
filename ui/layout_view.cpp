// The layout picture.
#include "ui/layout_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <map>

namespace {

constexpr int MARGIN = 6;
constexpr int LABEL_WIDTH = 60;
constexpr int BAR_HEIGHT = 18;
constexpr int ROW_GAP = 6;
constexpr int HEADING_HEIGHT = 18;

const QColor PALETTE[] = {QColor(0x4e, 0x79, 0xa7), QColor(0xf2, 0x8e, 0x2b),
                          QColor(0x59, 0xa1, 0x4f), QColor(0xb0, 0x7a, 0xa1),
                          QColor(0xed, 0xc9, 0x48), QColor(0x76, 0xb7, 0xb2),
                          QColor(0xff, 0x9d, 0xa7), QColor(0x9c, 0x75, 0x5f)};
constexpr int PALETTE_SIZE = int(sizeof PALETTE / sizeof PALETTE[0]);

uint64_t rounded(uint64_t bytes, uint32_t cluster) {
    if (cluster == 0) return bytes;
    return (bytes + cluster - 1) / cluster * cluster;
}

QString piece_text(const LayoutFile& file) {
    if (file.piece == 0) return "whole file";
    return QString("piece %1 of %2").arg(file.piece).arg(file.pieces);
}

}  // namespace

std::vector<LayoutSegment> layout_segments(const std::vector<ProductLayout>& layouts,
                                           const LayoutMedium& medium, int width, int* height) {
    std::vector<LayoutSegment> segments;
    int bar_width = std::max(width - LABEL_WIDTH - 2 * MARGIN, 40);
    double scale = medium.capacity ? double(bar_width) / medium.capacity : 0;
    int y = MARGIN;
    for (const ProductLayout& layout : layouts) {
        y += HEADING_HEIGHT;
        // The segment of the last piece seen of each split file, by Source.
        std::map<std::string, int> open_pieces;
        // One colour per Source, so that the pieces of a file share it.
        std::map<std::string, int> colours;
        for (const LayoutDisk& disk : layout.disks) {
            int x = MARGIN + LABEL_WIDTH;
            double used = 0;
            for (const LayoutFile& file : disk.files) {
                double from = used;
                used += double(rounded(file.bytes, medium.cluster_size)) * scale;
                LayoutSegment segment;
                segment.rect = QRect(x + int(from), y, std::max(int(used) - int(from), 1), BAR_HEIGHT);
                segment.tip = QString("%1\n%2, %3\n%4 bytes")
                                  .arg(QString::fromStdString(file.source),
                                       QString::fromStdString(file.name), piece_text(file))
                                  .arg(file.bytes);
                auto [colour, fresh] = colours.emplace(file.source, int(colours.size()) % PALETTE_SIZE);
                (void)fresh;
                segment.colour = colour->second;
                int index = int(segments.size());
                auto earlier = open_pieces.find(file.source);
                if (file.piece > 1 && earlier != open_pieces.end())
                    segments[size_t(earlier->second)].link = index;
                if (file.piece != 0) open_pieces[file.source] = index;
                segments.push_back(segment);
            }
            uint64_t slop = std::min<uint64_t>(medium.slop, disk.bytes_left);
            double free_width = double(disk.bytes_left - slop) * scale;
            LayoutSegment free_space;
            free_space.rect = QRect(x + int(used), y, std::max(int(used + free_width) - int(used), 0),
                                    BAR_HEIGHT);
            free_space.tip = QString("Free on disk %1\n%2 bytes").arg(disk.number).arg(disk.bytes_left - slop);
            free_space.colour = -1;
            segments.push_back(free_space);
            if (slop != 0) {
                LayoutSegment kept;
                int at = free_space.rect.right() + 1;
                kept.rect = QRect(at, y, std::max(x + bar_width - at, 1), BAR_HEIGHT);
                kept.tip = QString("Slop on disk %1\n%2 bytes").arg(disk.number).arg(slop);
                kept.colour = -2;
                segments.push_back(kept);
            }
            y += BAR_HEIGHT + ROW_GAP;
        }
    }
    *height = layouts.empty() ? 0 : y + MARGIN;
    return segments;
}

LayoutView::LayoutView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void LayoutView::set_layouts(const std::vector<ProductLayout>& layouts, const LayoutMedium& medium) {
    layouts_ = layouts;
    medium_ = medium;
    relayout();
    updateGeometry();
    update();
}

void LayoutView::clear() { set_layouts({}, medium_); }

void LayoutView::relayout() { segments_ = layout_segments(layouts_, medium_, width(), &height_); }

void LayoutView::resizeEvent(QResizeEvent*) { relayout(); }

QSize LayoutView::sizeHint() const {
    int height = 0;
    (void)layout_segments(layouts_, medium_, 400, &height);
    return QSize(400, height);
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
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QString("%1: %2 disks").arg(QString::fromStdString(layout.product))
                             .arg(layout.disks.size()));
        y += HEADING_HEIGHT;
        for (const LayoutDisk& disk : layout.disks) {
            painter.setPen(palette().text().color());
            painter.drawText(QRect(MARGIN, y, LABEL_WIDTH - 4, BAR_HEIGHT),
                             Qt::AlignLeft | Qt::AlignVCenter, QString("Disk %1").arg(disk.number));
            y += BAR_HEIGHT + ROW_GAP;
        }
    }
    for (const LayoutSegment& s : segments_) {
        QColor fill = s.colour == -1   ? QColor(0xee, 0xee, 0xee)
                      : s.colour == -2 ? QColor(0xbb, 0xbb, 0xbb)
                                       : PALETTE[s.colour];
        painter.fillRect(s.rect, fill);
        if (s.colour == -2) painter.fillRect(s.rect, QBrush(Qt::gray, Qt::BDiagPattern));
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.drawRect(s.rect.adjusted(0, 0, -1, -1));
    }
    // A split file's pieces are linked from the end of one to the start of the next.
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2, Qt::DashLine));
    for (const LayoutSegment& s : segments_)
        if (s.link >= 0) {
            const QRect& next = segments_[size_t(s.link)].rect;
            painter.drawLine(QPoint(s.rect.right(), s.rect.bottom()), QPoint(next.left(), next.top()));
        }
}
