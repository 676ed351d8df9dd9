#pragma once

#include "Ber.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Glow, the Ember+ data schema: the elements a router provider sends and the
// requests consumers send, over our BER codec. Plain C++, fuzzed.
namespace glow {

using TPath = std::vector<std::uint32_t>;

namespace tag {
// Application tags of the Glow types.
constexpr std::uint32_t Root = 0, Parameter = 1, Command = 2, Node = 3, ElementCollection = 4,
                        QualifiedParameter = 9, QualifiedNode = 10, RootElementCollection = 11,
                        Matrix = 13, Target = 14, Source = 15, Connection = 16,
                        QualifiedMatrix = 17, Label = 18, Function = 19, QualifiedFunction = 20,
                        TupleItemDescription = 21, Invocation = 22, InvocationResult = 23;
} // namespace tag

enum class TCommandType : std::int64_t {
    Subscribe = 30,
    Unsubscribe = 31,
    GetDirectory = 32,
    Invoke = 33
};
enum class TParameterType : std::int64_t { Integer = 1, String = 3, Boolean = 4 };
enum class TAccess : std::int64_t { Read = 1, ReadWrite = 3 };
enum class TDisposition : std::int64_t { Tally = 0, Modified = 1, Pending = 2, Locked = 3 };

struct TValue {
    enum class TType { None, Integer, String, Boolean } Type = TType::None;
    std::int64_t Integer = 0;
    std::string String;
    bool Boolean = false;

    static TValue Of(std::int64_t v) { return {TType::Integer, v, {}, false}; }
    static TValue Of(std::string v) { return {TType::String, 0, std::move(v), false}; }
    static TValue OfBool(bool v) { return {TType::Boolean, 0, {}, v}; }
    bool operator==(const TValue&) const = default;
};

// Encoding. Elements are strings of BER; a reply is Root(elements).
std::string Root(const std::vector<std::string>& elements);
std::string NodeContents(std::string_view identifier, std::string_view description,
                         bool online = true);
struct TParameterInfo {
    std::string Identifier, Description;
    TValue Value;
    TAccess Access = TAccess::Read;
    std::optional<std::int64_t> Minimum, Maximum;
};
std::string ParameterContents(const TParameterInfo& p);
// Just the value: what a change notification carries.
std::string ValueContents(const TValue& value);
struct TMatrixInfo {
    std::string Identifier, Description;
    std::int64_t Targets = 0, Sources = 0;
    TPath ParametersLocation;
    TPath LabelsPath;
    std::string LabelsDescription;
};
std::string MatrixContents(const TMatrixInfo& m);
struct TConnection {
    std::int64_t Target = 0;
    std::vector<std::uint32_t> Sources;
    std::int64_t Operation = 0;
    TDisposition Disposition = TDisposition::Tally;
};
std::string Connection(const TConnection& c);
std::string FunctionContents(std::string_view identifier, std::string_view description,
                             const std::vector<std::pair<TParameterType, std::string>>& arguments,
                             const std::vector<std::pair<TParameterType, std::string>>& result);

enum class TKind { Node, Parameter, Matrix, Function };
// An element by number (inside a parent's children) or by path (qualified);
// `contents` is one of the *Contents above (or empty), `children` elements.
// A directory reply carries the children collection even when it is empty:
// that tells a consumer the element has none.
std::string Element(TKind kind, std::uint32_t number, const std::string& contents,
                    const std::vector<std::string>& children = {},
                    const std::vector<std::string>& connections = {});
std::string Qualified(TKind kind, const TPath& path, const std::string& contents,
                      const std::vector<std::string>& children = {},
                      const std::vector<std::string>& connections = {}, bool directory = false);
std::string InvocationResult(std::int64_t id, bool success, const std::vector<TValue>& result);

// A consumer's request, with the path of the element it concerns. A
// provider's reply decodes the same way (a value, connections).
struct TRequest {
    enum class TType { Command, SetValue, Connect } Type = TType::Command;
    TPath Path;
    TCommandType Command = TCommandType::GetDirectory;
    TValue Value;
    std::vector<TConnection> Connections;
    std::int64_t InvocationId = 0;
    std::vector<TValue> Arguments;
};

// The requests in one message; false with the reason when it is no Glow.
bool DecodeRequests(std::string_view payload, std::vector<TRequest>& out, std::string* why);

std::string PathText(const TPath& path);

} // namespace glow
