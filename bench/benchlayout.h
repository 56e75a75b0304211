// Finishing a document's layout, so that a benchmark times it too.
#pragma once

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

namespace veskel::bench {

inline void layOut(QTextDocument *document)
{
    document->documentLayout()->documentSize();
}

} // namespace veskel::bench
