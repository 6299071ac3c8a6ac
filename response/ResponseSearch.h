#pragma once

#include <libxml/tree.h>

namespace cto {

// The first node named RespuestaSolicitudEncuesta in node's subtree, node
// included, in document order; nullptr when there is none. The node found has
// the target namespace declared as its default namespace. Throws EXMLDocError
// when the first node so named is not an element.
xmlNodePtr buscarNodoRespuesta(xmlNodePtr node);

} // namespace cto
