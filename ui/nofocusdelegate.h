#pragma once

#include <QStyledItemDelegate>

// Paints table cells without the focus frame; selection colours stay.
class NoFocusDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
