#pragma once

#include "response/TXMLNode.h"

namespace cto {

// Whether a child of an Errores element in erroresNamespace is one of its Error items.
bool isErrorItem(const ElementNames& child, std::string_view erroresNamespace);

class TXMLError final : public TXMLNode, public IXMLError {
public:
    using TXMLNode::TXMLNode;
    std::string TipoError() override { return childText("TipoError"); }
    std::string LineaError() override { return childText("LineaError"); }
    std::string DescripcionError() override { return childText("DescripcionError"); }
    void setTipoError(const std::string& value) override { setChildText("TipoError", value); }
    void setLineaError(const std::string& value) override { setChildText("LineaError", value); }
    void setDescripcionError(const std::string& value) override { setChildText("DescripcionError", value); }
};

class TXMLErrorList final : public TXMLNodeCollection, public IXMLErrorList {
public:
    // The Error children of `errores`, in its namespace.
    TXMLErrorList(std::shared_ptr<XmlDocument> document, xmlNodePtr errores);

    int Count() override { return count(); }
    std::shared_ptr<IXMLError> Item(int index) override { return view(itemNode(index)); }
    void Clear() override { clear(); }
    void Delete(int index) override { deleteItem(index); }
    int Remove(const std::shared_ptr<IXMLError>& item) override;
    std::shared_ptr<IXMLError> Add() override { return view(addItem()); }
    std::shared_ptr<IXMLError> Insert(int index) override { return view(insertItem(index)); }

private:
    std::shared_ptr<IXMLError> view(xmlNodePtr node) const;
};

class TXMLErrores final : public TXMLNode, public IXMLErrores {
public:
    TXMLErrores(const std::shared_ptr<XmlDocument>& document, xmlNodePtr element);

    std::int32_t Numero() override;
    std::shared_ptr<IXMLErrorList> Error() override { return errorList_; }
    void setNumero(std::int32_t value) override { setChildText("Numero", std::to_string(value)); }

private:
    std::shared_ptr<TXMLErrorList> errorList_;
};

class TXMLRespuestaSolicitudEncuesta final : public TXMLNode, public IXMLRespuestaSolicitudEncuesta {
public:
    using TXMLNode::TXMLNode;
    std::string NumeroOrden() override { return childText(kNumeroOrdenTag); }
    std::string CodigoControl() override { return childText(kCodigoControlTag); }
    std::string AcuseEnvio() override { return childText(kAcuseEnvioTag); }
    std::shared_ptr<IXMLErrores> Errores() override;
    void setNumeroOrden(const std::string& value) override { setChildText(kNumeroOrdenTag, value); }
    void setCodigoControl(const std::string& value) override { setChildText(kCodigoControlTag, value); }
    void setAcuseEnvio(const std::string& value) override { setChildText(kAcuseEnvioTag, value); }
};

// The text of Numero as a 32-bit integer: an optionally signed run of decimal
// digits, blanks around it allowed. Throws EVariantTypeCastError for empty or
// non-numeric text, EVariantOverflowError outside the 32-bit range.
std::int32_t numeroFromText(std::string_view text);

} // namespace cto
