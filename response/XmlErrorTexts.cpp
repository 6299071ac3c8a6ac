#include "response/XmlErrorTexts.h"

#include "common/CodeTexts.h"

#include <libxml/xmlerror.h>

namespace cto {

namespace {

// The faults that reading an answer or a stored response can meet: those of
// well-formedness and namespaces, of encodings, and the loads of external
// entities that are always refused. Validation and the codes of libxml2's
// other modules (schemas, XPath, HTML, catalogs) are never used here.
constexpr CodeText<int> kXmlTexts[] = {
    {XML_ERR_INTERNAL_ERROR, "Error interno del lector de XML"},
    {XML_ERR_NO_MEMORY, "No hay memoria suficiente para leer el XML"},
    {XML_ERR_DOCUMENT_START, "El documento no empieza como un documento XML"},
    {XML_ERR_DOCUMENT_EMPTY, "El documento está vacío o no es XML"},
    {XML_ERR_DOCUMENT_END, "Hay contenido después del final del documento XML"},
    {XML_ERR_INVALID_HEX_CHARREF, "Una referencia hexadecimal a carácter no es válida"},
    {XML_ERR_INVALID_DEC_CHARREF, "Una referencia decimal a carácter no es válida"},
    {XML_ERR_INVALID_CHARREF, "Una referencia a carácter no es válida"},
    {XML_ERR_INVALID_CHAR, "El documento contiene un carácter no permitido en XML"},
    {XML_ERR_CHARREF_AT_EOF, "El documento termina dentro de una referencia a carácter"},
    {XML_ERR_CHARREF_IN_PROLOG, "Hay una referencia a carácter antes del elemento raíz"},
    {XML_ERR_CHARREF_IN_EPILOG, "Hay una referencia a carácter después del elemento raíz"},
    {XML_ERR_CHARREF_IN_DTD,
     "Hay una referencia a carácter en la declaración de tipo de documento (DOCTYPE)"},
    {XML_ERR_ENTITYREF_AT_EOF, "El documento termina dentro de una referencia a entidad"},
    {XML_ERR_ENTITYREF_IN_PROLOG, "Hay una referencia a entidad antes del elemento raíz"},
    {XML_ERR_ENTITYREF_IN_EPILOG, "Hay una referencia a entidad después del elemento raíz"},
    {XML_ERR_ENTITYREF_IN_DTD,
     "Hay una referencia a entidad en la declaración de tipo de documento (DOCTYPE)"},
    {XML_ERR_PEREF_AT_EOF, "El documento termina dentro de una referencia a entidad de parámetro"},
    {XML_ERR_PEREF_IN_PROLOG, "Hay una referencia a entidad de parámetro antes del elemento raíz"},
    {XML_ERR_PEREF_IN_EPILOG, "Hay una referencia a entidad de parámetro después del elemento raíz"},
    {XML_ERR_PEREF_IN_INT_SUBSET, "Una referencia a entidad de parámetro está mal colocada en la declaración "
                                  "de tipo de documento (DOCTYPE)"},
    {XML_ERR_ENTITYREF_NO_NAME, "Una referencia a entidad no tiene nombre"},
    {XML_ERR_ENTITYREF_SEMICOL_MISSING, "Falta el punto y coma al final de una referencia a entidad"},
    {XML_ERR_PEREF_NO_NAME, "Una referencia a entidad de parámetro no tiene nombre"},
    {XML_ERR_PEREF_SEMICOL_MISSING,
     "Falta el punto y coma al final de una referencia a entidad de parámetro"},
    {XML_ERR_UNDECLARED_ENTITY, "El documento usa una entidad que no declara"},
    {XML_WAR_UNDECLARED_ENTITY, "El documento usa una entidad que no declara"},
    {XML_ERR_UNPARSED_ENTITY, "El documento usa una entidad no analizable donde no se admite"},
    {XML_ERR_ENTITY_IS_EXTERNAL, "El documento usa una entidad externa donde no se admite"},
    {XML_ERR_ENTITY_IS_PARAMETER, "El documento usa una entidad de parámetro donde no se admite"},
    {XML_ERR_UNKNOWN_ENCODING, "El documento declara una codificación desconocida"},
    {XML_ERR_UNSUPPORTED_ENCODING, "El documento usa una codificación que no se puede leer"},
    {XML_ERR_STRING_NOT_STARTED, "Falta la comilla al principio de un valor"},
    {XML_ERR_STRING_NOT_CLOSED, "Falta la comilla al final de un valor"},
    {XML_ERR_NS_DECL_ERROR, "Una declaración de espacio de nombres no es válida"},
    {XML_ERR_ENTITY_NOT_STARTED, "Falta la comilla al principio del valor de una entidad"},
    {XML_ERR_ENTITY_NOT_FINISHED, "Falta la comilla al final del valor de una entidad"},
    {XML_ERR_LT_IN_ATTRIBUTE, "El valor de un atributo contiene el carácter «<»"},
    {XML_ERR_ATTRIBUTE_NOT_STARTED, "Falta la comilla al principio del valor de un atributo"},
    {XML_ERR_ATTRIBUTE_NOT_FINISHED, "Falta la comilla al final del valor de un atributo"},
    {XML_ERR_ATTRIBUTE_WITHOUT_VALUE, "Un atributo no tiene valor"},
    {XML_ERR_ATTRIBUTE_REDEFINED, "Un atributo aparece dos veces en el mismo elemento"},
    {XML_ERR_LITERAL_NOT_STARTED, "Falta la comilla al principio de un literal"},
    {XML_ERR_LITERAL_NOT_FINISHED, "Falta la comilla al final de un literal"},
    {XML_ERR_COMMENT_NOT_FINISHED, "Un comentario no está cerrado"},
    {XML_ERR_PI_NOT_STARTED, "Una instrucción de procesamiento está mal formada"},
    {XML_ERR_PI_NOT_FINISHED, "Una instrucción de procesamiento no está cerrada"},
    {XML_ERR_NOTATION_NOT_STARTED, "Una declaración de notación está mal formada"},
    {XML_ERR_NOTATION_NOT_FINISHED, "Una declaración de notación no está cerrada"},
    {XML_ERR_ATTLIST_NOT_STARTED, "Una declaración de atributos está mal formada"},
    {XML_ERR_ATTLIST_NOT_FINISHED, "Una declaración de atributos no está cerrada"},
    {XML_ERR_MIXED_NOT_STARTED, "Una declaración de contenido mixto está mal formada"},
    {XML_ERR_MIXED_NOT_FINISHED, "Una declaración de contenido mixto no está cerrada"},
    {XML_ERR_ELEMCONTENT_NOT_STARTED, "Una declaración de contenido de elemento está mal formada"},
    {XML_ERR_ELEMCONTENT_NOT_FINISHED, "Una declaración de contenido de elemento no está cerrada"},
    {XML_ERR_XMLDECL_NOT_STARTED, "La declaración XML del principio está mal formada"},
    {XML_ERR_XMLDECL_NOT_FINISHED, "La declaración XML del principio no está cerrada"},
    {XML_ERR_CONDSEC_NOT_STARTED, "Una sección condicional está mal formada"},
    {XML_ERR_CONDSEC_NOT_FINISHED, "Una sección condicional no está cerrada"},
    {XML_ERR_EXT_SUBSET_NOT_FINISHED,
     "El subconjunto externo de la declaración de tipo de documento (DOCTYPE) no está cerrado"},
    {XML_ERR_DOCTYPE_NOT_FINISHED, "La declaración de tipo de documento (DOCTYPE) no está cerrada"},
    {XML_ERR_MISPLACED_CDATA_END, "La secuencia «]]>» aparece fuera de una sección CDATA"},
    {XML_ERR_CDATA_NOT_FINISHED, "Una sección CDATA no está cerrada"},
    // libxml2 raises it above all for a declaration <?xml …?> that is not at the very start.
    {XML_ERR_RESERVED_XML_NAME, "La declaración XML (<?xml … ?>) no está al principio del documento, o un "
                                "nombre empieza por «xml», que está reservado"},
    {XML_ERR_SPACE_REQUIRED, "Falta un espacio donde es obligatorio"},
    {XML_ERR_SEPARATOR_REQUIRED, "Falta un separador en una declaración"},
    {XML_ERR_NMTOKEN_REQUIRED, "Falta un nombre simbólico donde es obligatorio"},
    {XML_ERR_NAME_REQUIRED, "Falta un nombre donde es obligatorio"},
    {XML_ERR_PCDATA_REQUIRED, "Falta #PCDATA en una declaración de contenido mixto"},
    {XML_ERR_URI_REQUIRED, "Falta una dirección (URI) donde es obligatoria"},
    {XML_ERR_PUBID_REQUIRED, "Falta un identificador público donde es obligatorio"},
    {XML_ERR_LT_REQUIRED, "Falta el carácter «<» donde es obligatorio"},
    {XML_ERR_GT_REQUIRED, "Falta el carácter «>» al final de una etiqueta"},
    {XML_ERR_LTSLASH_REQUIRED, "Falta «</» al principio de una etiqueta de cierre"},
    {XML_ERR_EQUAL_REQUIRED, "Falta el signo «=» entre un atributo y su valor"},
    {XML_ERR_TAG_NAME_MISMATCH, "Una etiqueta de cierre no corresponde a la de apertura"},
    {XML_ERR_TAG_NOT_FINISHED, "El documento termina antes de cerrar un elemento"},
    {XML_ERR_STANDALONE_VALUE, "El valor de «standalone» no es «yes» ni «no»"},
    {XML_ERR_ENCODING_NAME, "El nombre de la codificación está mal escrito"},
    {XML_ERR_HYPHEN_IN_COMMENT, "Un comentario contiene «--»"},
    {XML_ERR_INVALID_ENCODING,
     "El texto no está en la codificación que el documento declara, o en UTF-8 si no declara ninguna"},
    {XML_ERR_EXT_ENTITY_STANDALONE, "Un documento independiente usa una entidad externa"},
    {XML_ERR_CONDSEC_INVALID, "Una sección condicional no es válida"},
    {XML_ERR_VALUE_REQUIRED, "Falta un valor donde es obligatorio"},
    {XML_ERR_NOT_WELL_BALANCED, "Los elementos no están bien anidados"},
    {XML_ERR_EXTRA_CONTENT, "Hay contenido después del elemento raíz"},
    {XML_ERR_ENTITY_CHAR_ERROR, "Una entidad predefinida está mal declarada"},
    {XML_ERR_ENTITY_PE_INTERNAL,
     "Una entidad de parámetro está mal usada en la declaración de tipo de documento (DOCTYPE) interna"},
    {XML_ERR_ENTITY_LOOP, "Las entidades del documento se repiten sin fin o crecen más de lo admitido"},
    {XML_ERR_ENTITY_BOUNDARY, "Una entidad abre un elemento y no lo cierra"},
    {XML_ERR_INVALID_URI, "Una dirección (URI) no es válida"},
    {XML_ERR_URI_FRAGMENT, "Una dirección (URI) lleva un fragmento donde no se admite"},
    {XML_ERR_NO_DTD, "El documento no tiene declaración de tipo de documento (DOCTYPE)"},
    {XML_ERR_CONDSEC_INVALID_KEYWORD, "Una sección condicional no empieza por INCLUDE ni IGNORE"},
    {XML_ERR_VERSION_MISSING, "La declaración XML no dice la versión"},
    {XML_ERR_MISSING_ENCODING, "El documento no declara su codificación"},
    {XML_ERR_NOT_STANDALONE, "El documento no es independiente como declara"},
    {XML_ERR_ENTITY_PROCESSING, "No se pudo procesar una entidad"},
    {XML_ERR_NOTATION_PROCESSING, "No se pudo procesar una notación"},
    {XML_ERR_UNKNOWN_VERSION, "El documento declara una versión de XML desconocida"},
    {XML_ERR_VERSION_MISMATCH, "La versión de XML no coincide con la del documento"},
    {XML_ERR_NAME_TOO_LONG, "Un nombre del documento es demasiado largo"},
    {XML_ERR_USER_STOP, "Se detuvo la lectura del documento"},
    {XML_NS_ERR_XML_NAMESPACE, "El prefijo «xml» o «xmlns» está mal usado"},
    {XML_NS_ERR_UNDEFINED_NAMESPACE, "El documento usa un prefijo de espacio de nombres que no declara"},
    {XML_NS_ERR_QNAME, "Un nombre con prefijo está mal formado"},
    {XML_NS_ERR_ATTRIBUTE_REDEFINED,
     "Un atributo aparece dos veces en el mismo elemento con el mismo espacio de nombres"},
    {XML_NS_ERR_EMPTY, "Un espacio de nombres está vacío donde no se admite"},
    {XML_NS_ERR_COLON, "Un nombre lleva más de un carácter «:»"},
    {XML_IO_NETWORK_ATTEMPT, "El documento quiso leer algo de la red, y no se permite"},
    {XML_IO_LOAD_ERROR, "El documento quiso cargar una entidad externa, y no se permite"},
    {XML_IO_ENCODER, "No se pudo convertir el texto de su codificación"},
    {XML_I18N_NO_NAME, "Falta el nombre de la codificación"},
    {XML_I18N_NO_HANDLER, "El documento usa una codificación que no se puede leer"},
    {XML_I18N_EXCESS_HANDLER, "Hay demasiadas codificaciones registradas"},
    {XML_I18N_CONV_FAILED, "No se pudo convertir el texto de su codificación"},
    {XML_I18N_NO_OUTPUT, "No se pudo convertir el texto de su codificación"},
};

} // namespace

std::string xmlRefusalText(int code, std::string_view readerWords) {
    // libxml2 raises its depth bound as an internal error; only its words tell.
    const char* text =
        code == XML_ERR_INTERNAL_ERROR && readerWords.starts_with("Excessive depth")
            ? "Los elementos del documento están anidados a más profundidad de la que se admite"
            : textOf(kXmlTexts, code);
    return withDetail(text != nullptr ? std::string(text)
                                      : "Error " + std::to_string(code) + " del lector de XML",
                      readerWords);
}

} // namespace cto
