#include "Glow.h"

namespace glow {

namespace {

using ber::Application;
using ber::Context;
using ber::TElement;

std::string Ctx(std::uint32_t n, std::string_view content) {
    return ber::Constructed(Context(n), content);
}

std::string Collection(std::string_view items) {
    return ber::Sequence(items);
}

std::string EncodeValue(const TValue& v) {
    switch (v.Type) {
    case TValue::TType::Integer:
        return ber::Integer(v.Integer);
    case TValue::TType::String:
        return ber::Utf8(v.String);
    case TValue::TType::Boolean:
        return ber::Boolean(v.Boolean);
    case TValue::TType::None:
        break;
    }
    return ber::Tlv(ber::Universal(ber::type::Null), false, {});
}

std::uint32_t KindTag(TKind kind, bool qualified) {
    switch (kind) {
    case TKind::Node:
        return qualified ? tag::QualifiedNode : tag::Node;
    case TKind::Parameter:
        return qualified ? tag::QualifiedParameter : tag::Parameter;
    case TKind::Matrix:
        return qualified ? tag::QualifiedMatrix : tag::Matrix;
    case TKind::Function:
        return qualified ? tag::QualifiedFunction : tag::Function;
    }
    return tag::Node;
}

std::string Body(const std::string& head, const std::string& contents,
                 const std::vector<std::string>& children,
                 const std::vector<std::string>& connections, bool directory = false) {
    std::string body = head;
    if (!contents.empty())
        body += Ctx(1, contents);
    if (!children.empty() || directory) {
        std::string items;
        for (const std::string& c : children)
            items += Ctx(0, c);
        body += Ctx(2, ber::Constructed(Application(tag::ElementCollection), items));
    }
    if (!connections.empty()) {
        std::string items;
        for (const std::string& c : connections)
            items += Ctx(0, c);
        body += Ctx(5, Collection(items));
    }
    return body;
}

std::string Tuple(const std::vector<std::pair<TParameterType, std::string>>& items) {
    std::string s;
    for (const auto& [type, name] : items)
        s += Ctx(0, ber::Constructed(Application(tag::TupleItemDescription),
                                     Ctx(0, ber::Integer(static_cast<std::int64_t>(type))) +
                                         Ctx(1, ber::Utf8(name))));
    return Collection(s);
}

// The one element inside a context tag ([n] wraps its value explicitly).
const TElement* Inner(const TElement* wrapper) {
    return wrapper && wrapper->Constructed && wrapper->Children.size() == 1
               ? &wrapper->Children.front()
               : nullptr;
}

TValue DecodeValue(const TElement* e) {
    TValue v;
    if (!e)
        return v;
    if (ber::ReadInteger(*e, v.Integer))
        v.Type = TValue::TType::Integer;
    else if (ber::ReadUtf8(*e, v.String))
        v.Type = TValue::TType::String;
    else if (ber::ReadBoolean(*e, v.Boolean))
        v.Type = TValue::TType::Boolean;
    return v;
}

bool Number(const TElement& e, std::uint32_t& number) {
    std::int64_t n = 0;
    const TElement* v = Inner(e.Find(Context(0)));
    if (!v || !ber::ReadInteger(*v, n) || n < 0 || n > 0x7FFFFFFF)
        return false;
    number = static_cast<std::uint32_t>(n);
    return true;
}

void Walk(const TElement& e, const TPath& parent, std::vector<TRequest>& out);

bool HasCommand(const TElement* children) {
    if (!children)
        return false;
    for (const TElement& item : children->Children)
        if (const TElement* child = Inner(&item); child && child->Tag == Application(tag::Command))
            return true;
    return false;
}

void Command(const TElement& e, const TPath& path, std::vector<TRequest>& out) {
    std::int64_t number = 0;
    const TElement* n = Inner(e.Find(Context(0)));
    if (!n || !ber::ReadInteger(*n, number))
        return;
    TRequest r;
    r.Path = path;
    r.Command = static_cast<TCommandType>(number);
    if (r.Command == TCommandType::Invoke) {
        const TElement* inv = Inner(e.Find(Context(2)));
        if (!inv || inv->Tag != Application(tag::Invocation))
            return;
        if (const TElement* id = Inner(inv->Find(Context(0))))
            ber::ReadInteger(*id, r.InvocationId);
        if (const TElement* args = Inner(inv->Find(Context(1))))
            for (const TElement& item : args->Children)
                r.Arguments.push_back(DecodeValue(Inner(&item)));
    }
    out.push_back(std::move(r));
}

void Connections(const TElement& list, const TPath& path, std::vector<TRequest>& out) {
    TRequest r;
    r.Type = TRequest::TType::Connect;
    r.Path = path;
    for (const TElement& item : list.Children) {
        const TElement* c = Inner(&item);
        if (!c || c->Tag != Application(tag::Connection))
            continue;
        TConnection conn;
        const TElement* target = Inner(c->Find(Context(0)));
        if (!target || !ber::ReadInteger(*target, conn.Target))
            continue;
        if (const TElement* s = Inner(c->Find(Context(1))))
            if (!ber::ReadRelativeOid(*s, conn.Sources))
                continue;
        if (const TElement* op = Inner(c->Find(Context(2))))
            ber::ReadInteger(*op, conn.Operation);
        std::int64_t disposition = 0;
        if (const TElement* d = Inner(c->Find(Context(3))); d && ber::ReadInteger(*d, disposition))
            conn.Disposition = static_cast<TDisposition>(disposition);
        r.Connections.push_back(std::move(conn));
    }
    if (!r.Connections.empty())
        out.push_back(std::move(r));
}

void Walk(const TElement& e, const TPath& parent, std::vector<TRequest>& out) {
    if (e.Tag.Class != ber::TClass::Application || !e.Constructed)
        return;
    const std::uint32_t t = e.Tag.Number;
    if (t == tag::Command)
        return Command(e, parent, out);
    TPath path;
    if (t == tag::Parameter || t == tag::Node || t == tag::Matrix || t == tag::Function) {
        std::uint32_t number = 0;
        if (!Number(e, number))
            return;
        path = parent;
        path.push_back(number);
    } else if (t == tag::QualifiedParameter || t == tag::QualifiedNode ||
               t == tag::QualifiedMatrix || t == tag::QualifiedFunction) {
        const TElement* p = Inner(e.Find(Context(0)));
        if (!p || !ber::ReadRelativeOid(*p, path))
            return;
    } else {
        return;
    }
    const TElement* children = Inner(e.Find(Context(2)));
    // A consumer may send a parameter as it knows it along with a command:
    // only a parameter without commands sets a value.
    if ((t == tag::Parameter || t == tag::QualifiedParameter) && !HasCommand(children)) {
        const TElement* contents = Inner(e.Find(Context(1)));
        if (contents && contents->Tag == ber::Universal(ber::type::Set))
            if (const TElement* value = contents->Find(Context(2))) {
                TRequest r;
                r.Type = TRequest::TType::SetValue;
                r.Path = path;
                r.Value = DecodeValue(Inner(value));
                out.push_back(std::move(r));
            }
    }
    if (children && children->Tag == Application(tag::ElementCollection))
        for (const TElement& item : children->Children)
            if (const TElement* child = Inner(&item))
                Walk(*child, path, out);
    if (t == tag::Matrix || t == tag::QualifiedMatrix)
        if (const TElement* list = Inner(e.Find(Context(5))))
            Connections(*list, path, out);
}

} // namespace

std::string Root(const std::vector<std::string>& elements) {
    std::string items;
    for (const std::string& e : elements)
        items += Ctx(0, e);
    return ber::Constructed(Application(tag::Root),
                            ber::Constructed(Application(tag::RootElementCollection), items));
}

std::string NodeContents(std::string_view identifier, std::string_view description, bool online) {
    std::string s = Ctx(0, ber::Utf8(identifier));
    if (!description.empty())
        s += Ctx(1, ber::Utf8(description));
    s += Ctx(3, ber::Boolean(online));
    return ber::Set(s);
}

std::string ValueContents(const TValue& value) {
    return ber::Set(Ctx(2, EncodeValue(value)));
}

std::string ParameterContents(const TParameterInfo& p) {
    std::string s = Ctx(0, ber::Utf8(p.Identifier));
    if (!p.Description.empty())
        s += Ctx(1, ber::Utf8(p.Description));
    s += Ctx(2, EncodeValue(p.Value));
    if (p.Minimum)
        s += Ctx(3, ber::Integer(*p.Minimum));
    if (p.Maximum)
        s += Ctx(4, ber::Integer(*p.Maximum));
    s += Ctx(5, ber::Integer(static_cast<std::int64_t>(p.Access)));
    TParameterType type = TParameterType::String;
    if (p.Value.Type == TValue::TType::Integer)
        type = TParameterType::Integer;
    else if (p.Value.Type == TValue::TType::Boolean)
        type = TParameterType::Boolean;
    s += Ctx(13, ber::Integer(static_cast<std::int64_t>(type)));
    return ber::Set(s);
}

std::string MatrixContents(const TMatrixInfo& m) {
    std::string s = Ctx(0, ber::Utf8(m.Identifier));
    if (!m.Description.empty())
        s += Ctx(1, ber::Utf8(m.Description));
    s += Ctx(2, ber::Integer(0)); // oneToN
    s += Ctx(3, ber::Integer(0)); // linear
    s += Ctx(4, ber::Integer(m.Targets));
    s += Ctx(5, ber::Integer(m.Sources));
    if (!m.ParametersLocation.empty())
        s += Ctx(8, ber::RelativeOid(m.ParametersLocation));
    if (!m.LabelsPath.empty())
        s += Ctx(10,
                 Collection(Ctx(0, ber::Constructed(Application(tag::Label),
                                                    Ctx(0, ber::RelativeOid(m.LabelsPath)) +
                                                        Ctx(1, ber::Utf8(m.LabelsDescription))))));
    return ber::Set(s);
}

std::string Connection(const TConnection& c) {
    return ber::Constructed(Application(tag::Connection),
                            Ctx(0, ber::Integer(c.Target)) + Ctx(1, ber::RelativeOid(c.Sources)) +
                                Ctx(2, ber::Integer(c.Operation)) +
                                Ctx(3, ber::Integer(static_cast<std::int64_t>(c.Disposition))));
}

std::string FunctionContents(std::string_view identifier, std::string_view description,
                             const std::vector<std::pair<TParameterType, std::string>>& arguments,
                             const std::vector<std::pair<TParameterType, std::string>>& result) {
    std::string s = Ctx(0, ber::Utf8(identifier));
    if (!description.empty())
        s += Ctx(1, ber::Utf8(description));
    s += Ctx(2, Tuple(arguments)) + Ctx(3, Tuple(result));
    return ber::Set(s);
}

std::string Element(TKind kind, std::uint32_t number, const std::string& contents,
                    const std::vector<std::string>& children,
                    const std::vector<std::string>& connections) {
    return ber::Constructed(Application(KindTag(kind, false)),
                            Body(Ctx(0, ber::Integer(number)), contents, children, connections));
}

std::string Qualified(TKind kind, const TPath& path, const std::string& contents,
                      const std::vector<std::string>& children,
                      const std::vector<std::string>& connections, bool directory) {
    return ber::Constructed(
        Application(KindTag(kind, true)),
        Body(Ctx(0, ber::RelativeOid(path)), contents, children, connections, directory));
}

std::string InvocationResult(std::int64_t id, bool success, const std::vector<TValue>& result) {
    std::string items;
    for (const TValue& v : result)
        items += Ctx(0, EncodeValue(v));
    return ber::Constructed(
        Application(tag::Root),
        ber::Constructed(Application(tag::InvocationResult), Ctx(0, ber::Integer(id)) +
                                                                 Ctx(1, ber::Boolean(success)) +
                                                                 Ctx(2, Collection(items))));
}

bool DecodeRequests(std::string_view payload, std::vector<TRequest>& out, std::string* why) {
    std::vector<TElement> top;
    if (!ber::Decode(payload, top, ber::TLimits{}, why))
        return false;
    for (const TElement& root : top) {
        if (root.Tag != Application(tag::Root) || !root.Constructed) {
            if (why)
                *why = "not a Glow root";
            return false;
        }
        for (const TElement& c : root.Children)
            if (c.Tag == Application(tag::RootElementCollection))
                for (const TElement& item : c.Children)
                    if (const TElement* e = Inner(&item))
                        Walk(*e, {}, out);
    }
    return true;
}

std::string PathText(const TPath& path) {
    std::string s;
    for (std::uint32_t n : path)
        s += (s.empty() ? "" : ".") + std::to_string(n);
    return s;
}

} // namespace glow
