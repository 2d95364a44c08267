#include "platform/url_parser.h"

#include <curl/curl.h>

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "platform/url_reference.h"

namespace wayfetch::platform {
namespace {

struct CurlUrlFree {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;

struct CurlTextFree {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextFree>;

// Unknown schemes are accepted so that "foo://host/x" resolves as in a
// browser. Encoding is done before libcurl sees the text (UrlReference::parse),
// because libcurl's own encoder writes a space in a query as "+".
constexpr unsigned int set_flags = CURLU_NON_SUPPORT_SCHEME;

UrlStatus failure(UrlError code, std::string message) {
  return {code, std::move(message)};
}

UrlStatus curl_failure(CURLUcode code) {
  return failure(code == CURLUE_OUT_OF_MEMORY ? UrlError::out_of_memory : UrlError::rejected,
                 curl_url_strerror(code));
}

// libcurl holds the addresses with a host in the network sense. File
// addresses (it refuses hosts and drive letters there, and drops the query)
// and non-special schemes without a host are ours.
bool handled_by_curl(const UrlReference& ref) {
  if (ref.scheme == "file") return false;
  if (ref.is_special()) return true;
  return ref.has_authority && !ref.authority.empty();
}

// libcurl reads C strings: a zero byte would silently cut the address, and a
// control character or space in a host is refused by browsers too. Checked
// for every address we write, not only for those libcurl sees; the other
// parts have been percent-encoded by then.
UrlStatus check_authority(const UrlReference& ref) {
  for (char c : ref.authority) {
    auto byte = static_cast<uint8_t>(c);
    if (byte <= 0x20 || byte == 0x7F) return failure(UrlError::rejected, "bad character in host");
  }
  return {};
}

// Browsers read the host of an http, https or ftp address after any number
// of slashes ("http:host/x", "http:///host/x").
UrlStatus fix_special_authority(UrlReference& ref) {
  if (!ref.is_special() || ref.scheme == "file" || (ref.has_authority && !ref.authority.empty())) {
    return {};
  }
  std::string_view path = ref.path;
  while (!path.empty() && path[0] == '/') path.remove_prefix(1);
  std::string text = ref.scheme + "://" + std::string(path);
  if (ref.has_query) text += "?" + ref.query;
  if (ref.has_fragment) text += "#" + ref.fragment;
  ref = UrlReference::parse(text, true);
  if (ref.authority.empty()) return failure(UrlError::no_host, "address without a host");
  return {};
}

// The address libcurl holds, written as a browser writes it: without the
// scheme's default port and, for special schemes, with the host in lower
// case. libcurl decodes "%41" in a host only after our own lowering, so the
// host is lowered again here; it also lets a decoded DEL through, which is
// refused like any control character.
UrlStatus read_url(CURLU* handle, bool special, std::string& out) {
  if (special) {
    char* host = nullptr;
    CURLUcode code = curl_url_get(handle, CURLUPART_HOST, &host, 0);
    CurlText owned_host(host);
    if (code == CURLUE_OK && owned_host) {
      std::string lowered(owned_host.get());
      lower_case_host(lowered);
      if (lowered != owned_host.get()) {
        code = curl_url_set(handle, CURLUPART_HOST, lowered.c_str(), 0);
        if (code != CURLUE_OK) return curl_failure(code);
      }
    }
  }
  char* text = nullptr;
  CURLUcode code = curl_url_get(handle, CURLUPART_URL, &text, CURLU_NO_DEFAULT_PORT);
  CurlText owned(text);
  if (code != CURLUE_OK) return curl_failure(code);
  out = owned.get();
  for (char c : out) {
    auto byte = static_cast<uint8_t>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      out.clear();
      return failure(UrlError::rejected, "bad character in host");
    }
  }
  return {};
}

// Hands an address to libcurl; `special` says whether it is one of the
// schemes whose host names browsers write in lower case (libcurl keeps case).
UrlStatus set_url(CURLU* handle, UrlReference ref, bool special) {
  if (UrlStatus status = check_authority(ref); !status.ok()) return status;
  if (special) lower_case_host(ref.authority);
  CURLUcode code = curl_url_set(handle, CURLUPART_URL, ref.to_string().c_str(), set_flags);
  return code == CURLUE_OK ? UrlStatus{} : curl_failure(code);
}

void append_fragment(const UrlReference& ref, std::string& out) {
  if (ref.has_fragment) out += "#" + ref.fragment;
}

// Writes an absolute reference in its normal form.
UrlStatus absolute_form(UrlReference ref, std::string& out) {
  if (UrlStatus status = fix_special_authority(ref); !status.ok()) return status;
  UrlReference fragment_only;
  fragment_only.has_fragment = ref.has_fragment;
  fragment_only.fragment = ref.fragment;
  ref.drop_fragment();
  if (handled_by_curl(ref)) {
    CurlUrl handle(curl_url());
    if (!handle) return failure(UrlError::out_of_memory, "no URL handle");
    if (UrlStatus status = set_url(handle.get(), ref, ref.is_special()); !status.ok()) {
      return status;
    }
    if (UrlStatus status = read_url(handle.get(), ref.is_special(), out); !status.ok()) {
      return status;
    }
  } else {
    if (UrlStatus status = check_authority(ref); !status.ok()) return status;
    normalize_own_reference(ref);
    out = ref.to_string();
  }
  append_fragment(fragment_only, out);
  return {};
}

std::optional<std::string> get_part(CURLU* handle, CURLUPart part, unsigned int flags,
                                    CURLUcode& error) {
  char* text = nullptr;
  CURLUcode code = curl_url_get(handle, part, &text, flags);
  CurlText owned(text);
  if (code == CURLUE_OK && owned) return std::string(owned.get());
  bool absent = code == CURLUE_NO_USER || code == CURLUE_NO_PASSWORD || code == CURLUE_NO_HOST ||
                code == CURLUE_NO_PORT || code == CURLUE_NO_QUERY || code == CURLUE_NO_FRAGMENT;
  if (!absent && code != CURLUE_OK) error = code;
  return std::nullopt;
}

UrlStatus crack_with_curl(const UrlReference& ref, UrlComponents& out) {
  CurlUrl handle(curl_url());
  if (!handle) return failure(UrlError::out_of_memory, "no URL handle");
  if (UrlStatus status = set_url(handle.get(), ref, ref.is_special()); !status.ok()) {
    return status;
  }
  CURLUcode error = CURLUE_OK;
  CURLU* h = handle.get();
  out.scheme = get_part(h, CURLUPART_SCHEME, 0, error).value_or("");
  out.user = get_part(h, CURLUPART_USER, 0, error).value_or("");
  out.password = get_part(h, CURLUPART_PASSWORD, 0, error).value_or("");
  out.host = get_part(h, CURLUPART_HOST, 0, error).value_or("");
  std::string port = get_part(h, CURLUPART_PORT, CURLU_DEFAULT_PORT, error).value_or("0");
  out.path = get_part(h, CURLUPART_PATH, 0, error).value_or("");
  std::optional<std::string> query = get_part(h, CURLUPART_QUERY, 0, error);
  std::optional<std::string> fragment = get_part(h, CURLUPART_FRAGMENT, 0, error);
  if (error != CURLUE_OK) return curl_failure(error);
  for (char c : out.host) {
    auto byte = static_cast<uint8_t>(c);
    if (byte <= 0x20 || byte == 0x7F) return failure(UrlError::rejected, "bad character in host");
  }
  // libcurl has checked the port (0-65535).
  std::from_chars(port.data(), port.data() + port.size(), out.port);
  out.has_query = query.has_value();
  out.query = query.value_or("");
  out.has_fragment = fragment.has_value();
  out.fragment = fragment.value_or("");
  return {};
}

}  // namespace

UrlStatus resolve_url(std::string_view base_text, std::string_view reference_text,
                      std::string& out) {
  out.clear();
  UrlReference base = UrlReference::parse(clean_url_text(base_text), false);
  bool have_base = !base.scheme.empty() && fix_special_authority(base).ok();
  base.drop_fragment();

  UrlReference ref =
      UrlReference::parse(clean_url_text(reference_text), have_base && base.is_special());
  // "http:page.html" on an http page is a relative link in browsers.
  if (have_base && ref.is_special() && !ref.has_authority && ref.scheme == base.scheme) {
    ref.scheme.clear();
  }

  UrlStatus status;
  if (!ref.scheme.empty()) {
    status = absolute_form(std::move(ref), out);
  } else if (!have_base) {
    status = failure(UrlError::no_base, "relative address without an absolute base");
  } else if (ref.is_same_document()) {
    // An empty reference or a bare "#name" means the base document itself;
    // libcurl would drop the base's file name here.
    base.has_fragment = ref.has_fragment;
    base.fragment = ref.fragment;
    status = absolute_form(std::move(base), out);
  } else if (base.is_opaque()) {
    status = failure(UrlError::cannot_be_base, "relative address against an opaque base");
  } else if (handled_by_curl(base) && ref.has_authority && ref.authority.empty()) {
    // "///host/x" and "/\/\//host/x" on an http page: browsers skip every
    // slash and backslash before the host of a special address.
    if (!base.is_special()) return failure(UrlError::no_host, "address without a host");
    ref.scheme = base.scheme;
    status = absolute_form(std::move(ref), out);
  } else if (handled_by_curl(base)) {
    UrlReference fragment_only;
    fragment_only.has_fragment = ref.has_fragment;
    fragment_only.fragment = ref.fragment;
    ref.drop_fragment();
    // A first segment with ":" that is no scheme ("..a:b", "1x:y") would be
    // read by libcurl as a scheme; "./" keeps it a path (RFC 3986, 4.2).
    if (!ref.has_authority && !ref.path.empty() && ref.path[0] != '/' &&
        ref.path.substr(0, ref.path.find('/')).find(':') != std::string::npos) {
      ref.path.insert(0, "./");
    }
    // A fresh handle per resolution: libcurl resolves a relative address
    // against whatever the handle last held.
    CurlUrl handle(curl_url());
    if (!handle) return failure(UrlError::out_of_memory, "no URL handle");
    status = set_url(handle.get(), base, base.is_special());
    if (status.ok()) status = set_url(handle.get(), ref, base.is_special());
    if (status.ok()) status = read_url(handle.get(), base.is_special(), out);
    if (status.ok()) append_fragment(fragment_only, out);
  } else {
    normalize_own_reference(base);
    // The result may name a host although the base had none ("foo:/a" and
    // "//h/b"): it is written as such an address is written on its own.
    status = absolute_form(merge_references(base, ref), out);
  }
  if (!status.ok()) out.clear();
  return status;
}

UrlStatus crack_url(std::string_view address, UrlComponents& out) {
  out = UrlComponents();
  UrlReference ref = UrlReference::parse(clean_url_text(address), false);
  if (ref.scheme.empty()) return failure(UrlError::no_base, "not an absolute address");
  if (UrlStatus status = fix_special_authority(ref); !status.ok()) return status;
  if (handled_by_curl(ref)) {
    UrlStatus status = crack_with_curl(ref, out);
    if (!status.ok()) out = UrlComponents();
    return status;
  }
  if (UrlStatus status = check_authority(ref); !status.ok()) return status;
  normalize_own_reference(ref);
  out.scheme = ref.scheme;
  out.host = ref.authority;
  out.path = ref.path;
  out.has_query = ref.has_query;
  out.query = ref.query;
  out.has_fragment = ref.has_fragment;
  out.fragment = ref.fragment;
  return {};
}

}  // namespace wayfetch::platform
