#pragma once

#include "response/MarkupWriter.h"
#include "response/ResponseParser.h"
#include "response/ResponseSummary.h"
#include "response/SoapFaultReader.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace cto {

// Follows the streaming read of the office's answer and writes, as they
// come, the nodes inside the first node named RespuestaSolicitudEncuesta,
// gathering what the outcome needs on the way. Nothing of the answer is kept
// but the namespaces in scope, the open elements inside the one sought, and
// the text being read. The element's content goes to the spool; its start
// tag, which names every outside prefix used inside, is known only at its end.
class ElementExtractor final : public ResponseEvents {
public:
    explicit ElementExtractor(ByteStream& spool);

    void prologRead(xmlDocPtr document, bool encodingNamed) override;
    void elementStarted(const StartTag& tag) override;
    void elementEnded() override;
    void text(std::string_view piece) override;
    void cdata(std::string_view content) override;
    void comment(std::string_view content) override;
    void instruction(std::string_view target, const xmlChar* data) override;

    // After the whole answer was read. Throws EXMLDocError when no element was
    // found (naming a SOAP fault's string when the answer is one), or when
    // the first node of that name is not an element.
    void finish();

    // Once finished: the element's start tag (without ">" or "/>"), whether
    // it has content (then in the spool), and what the outcome needs.
    const std::string& rootStartTag() const noexcept { return rootStartTag_; }
    bool rootHasContent() const noexcept { return rootHasContent_; }
    const ResponseSummary& summary() const noexcept { return summary_; }

private:
    enum class Phase { Searching, Inside, Found, NotElement };
    enum class Role { None, Root, NumeroOrden, CodigoControl, AcuseEnvio, Errores };

    // A namespace declaration in scope.
    struct Binding {
        std::string prefix; // empty: the default namespace
        std::string uri;
        int depth; // of the element that declares it
    };
    // An element open inside the one sought.
    struct Open {
        Role role = Role::None;
        std::string qualifiedName;
        std::string startTag; // written when its first child is
        bool wroteChild = false;
        std::string defaultNs; // the default namespace its markup gives unprefixed children
        int children = 0;
        bool firstIsText = false;
        std::string firstText;
    };

    void enterTarget(const StartTag& tag);
    void enterInside(const StartTag& tag);
    void leaveInside();
    void endText();
    void addChild(bool isText, std::string_view text);
    void redeclareOutsidePrefixes(const StartTag& tag);
    void redeclareIfOutside(std::string_view prefix);
    const Binding* binding(std::string_view prefix) const;

    MarkupWriter writer_;
    Phase phase_ = Phase::Searching;
    int depth_ = 0;
    std::vector<Binding> bindings_;
    std::vector<std::size_t> bindingMarks_;
    SoapFaultReader fault_;

    // Inside the element sought:
    int targetDepth_ = 0;
    std::vector<Open> open_;
    std::string text_;
    std::vector<Binding> rootDeclarations_;
    std::string rootAttributes_;

    std::array<bool, 4> roleTaken_{};
    std::string erroresNamespace_;
    ResponseSummary summary_;
    std::string rootStartTag_;
    bool rootHasContent_ = false;
};

} // namespace cto
