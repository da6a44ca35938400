#pragma once
// ImageList1: the seven 16x16 images shared by the toolbar (1-5) and the tree
// (6 encoder, 7 any other element), drawn in code so nothing needs shipping.

#include <QIcon>

namespace images {
QIcon imageList(int index);   // 1..7; a null icon otherwise
QIcon applicationIcon();
} // namespace images
