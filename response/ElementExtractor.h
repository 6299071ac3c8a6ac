#pragma once

#include "response/MarkupWriter.h"
#include "response/NamespaceScope.h"
#include "response/ResponseParser.h"
#include "response/ResponseSummary.h"

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace cto {

// Follows the parse of the office's answer and, as each node is finished,
// writes what belongs to the first node named RespuestaSolicitudEncuesta
// and takes it out of the tree, so that the tree never holds more than the
// open elements and their last child. The element's content goes to the
// spool; its start tag, which names every outside prefix used inside, is
// known only at its end.
class ElementExtractor final : public TreeObserver {
public:
    explicit ElementExtractor(ByteStream& spool);
    ~ElementExtractor();
    ElementExtractor(const ElementExtractor&) = delete;
    ElementExtractor& operator=(const ElementExtractor&) = delete;

    void elementStarted(xmlParserCtxtPtr context, xmlNodePtr element) noexcept override;
    void elementEnded(xmlParserCtxtPtr context, xmlNodePtr element) noexcept override;
    void contentAdded(xmlParserCtxtPtr context, xmlNodePtr parent) noexcept override;

    // What stopped the parse from here, if anything: raised before the parser's own report.
    void raiseOwnFailure() const;

    // After the whole answer parsed. Throws EXMLDocError when no element was
    // found (naming a SOAP fault's string when the answer is one), or when
    // the first node of that name is not an element.
    void finish(xmlDocPtr document);

    // Once finished: the element's start tag (without ">" or "/>"), whether
    // it has content (then in the spool), and what the outcome needs.
    const std::string& rootStartTag() const noexcept { return rootStartTag_; }
    bool rootHasContent() const noexcept { return rootHasContent_; }
    const ResponseSummary& summary() const noexcept { return summary_; }

private:
    enum class Phase { Searching, Inside, Found, NotElement };
    enum class Role { None, Root, NumeroOrden, CodigoControl, AcuseEnvio, Errores };
    struct Open;

    template <typename Step> void guarded(xmlParserCtxtPtr context, Step step) noexcept;
    bool follows(xmlNodePtr parent) const noexcept;
    static void takeDocumentEncoding(xmlParserCtxtPtr context, xmlDocPtr document);

    void started(xmlNodePtr element);
    void ended(xmlNodePtr element);
    void settle(Open& parent, xmlNodePtr stop);
    void complete(Open& parent, xmlNodePtr child);
    void lookForTarget(xmlNodePtr node);
    bool takenByFault(Open& fault, xmlNodePtr child);

    void enterTarget(xmlNodePtr element);
    void enterInside(xmlNodePtr element);
    void leaveInside();
    void output(Open& parent, xmlNodePtr child);
    void writeWhole(xmlNodePtr element);
    void openForChild(Open& parent);

    MarkupWriter writer_;
    std::exception_ptr failure_;
    Phase phase_ = Phase::Searching;
    std::vector<Open> open_;
    std::optional<NamespaceScope> scope_;

    bool faultSeen_ = false;
    std::optional<std::string> faultString_;
    std::vector<xmlNodePtr> keptByFault_;

    std::array<bool, 4> roleTaken_{};
    std::string erroresNamespace_;
    ResponseSummary summary_;
    std::string rootStartTag_;
    bool rootHasContent_ = false;
};

} // namespace cto
