#include "brenlodoc.h"

#include "pictures.h"

namespace views {

CBrenloDoc::CBrenloDoc(archive::DragState& drag) : m_drag(drag) {
    for (int index = 0; index < res::kSmallImageCount; ++index) {
        m_smallImages.push_back(res::smallImage(index));
    }
    m_largeImages = {res::largeImage(0), res::largeImage(1)};
}

} // namespace views
