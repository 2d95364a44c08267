#include "xml/entity_names.h"

#include <array>

#include "core/ascii.h"

namespace wayfetch {
namespace {

constexpr std::array<std::string_view, 266> names = {
    "AElig",   "AMP",    "Aacute",   "Acirc",   "Agrave",  "Alpha",  "Aring",   "Atilde",
    "Auml",    "Beta",   "COPY",     "Ccedil",  "Chi",     "Dagger", "Delta",   "ETH",
    "Eacute",  "Ecirc",  "Egrave",   "Epsilon", "Eta",     "Euml",   "GT",      "Gamma",
    "Iacute",  "Icirc",  "Igrave",   "Iota",    "Iuml",    "Kappa",  "LT",      "Lambda",
    "Mu",      "Ntilde", "Nu",       "OElig",   "Oacute",  "Ocirc",  "Ograve",  "Omega",
    "Omicron", "Oslash", "Otilde",   "Ouml",    "Phi",     "Pi",     "Prime",   "Psi",
    "QUOT",    "REG",    "Rho",      "Scaron",  "Sigma",   "THORN",  "TRADE",   "Tau",
    "Theta",   "Uacute", "Ucirc",    "Ugrave",  "Upsilon", "Uuml",   "Xi",      "Yacute",
    "Yuml",    "Zeta",   "aacute",   "aafs",    "acirc",   "acute",  "aelig",   "agrave",
    "alefsym", "alpha",  "and",      "ang",     "aring",   "ass",    "asymp",   "atilde",
    "auml",    "bdquo",  "beta",     "brvbar",  "bull",    "cap",    "ccedil",  "cedil",
    "cent",    "chi",    "circ",     "clubs",   "cong",    "copy",   "crarr",   "cup",
    "curren",  "dArr",   "dagger",   "darr",    "deg",     "delta",  "diams",   "divide",
    "eacute",  "ecirc",  "egrave",   "empty",   "emsp",    "ensp",   "epsilon", "equiv",
    "eta",     "eth",    "euml",     "exist",   "fnof",    "forall", "frac12",  "frac14",
    "frac34",  "frasl",  "gamma",    "ge",      "hArr",    "harr",   "hearts",  "hellip",
    "iacute",  "iafs",   "icirc",    "iexcl",   "igrave",  "image",  "infin",   "int",
    "iota",    "iquest", "isin",     "iss",     "iuml",    "kappa",  "lArr",    "lambda",
    "lang",    "laquo",  "larr",     "lceil",   "ldquo",   "le",     "lfloor",  "lowast",
    "loz",     "lre",    "lrm",      "lro",     "lsaquo",  "lsquo",  "macr",    "mdash",
    "micro",   "middot", "minus",    "mu",      "nabla",   "nads",   "nbsp",    "ndash",
    "ne",      "ni",     "nods",     "not",     "notin",   "nsub",   "ntilde",  "nu",
    "oacute",  "ocirc",  "oelig",    "ograve",  "oline",   "omega",  "omicron", "oplus",
    "or",      "ordf",   "ordm",     "oslash",  "otilde",  "otimes", "ouml",    "para",
    "part",    "pdf",    "permil",   "perp",    "phi",     "pi",     "piv",     "plusmn",
    "pound",   "prime",  "prod",     "prop",    "psi",     "rArr",   "radic",   "rang",
    "raquo",   "rarr",   "rceil",    "rdquo",   "real",    "reg",    "rfloor",  "rho",
    "rle",     "rlm",    "rlo",      "rsaquo",  "rsquo",   "sbquo",  "scaron",  "sdot",
    "sect",    "shy",    "sigma",    "sigmaf",  "sim",     "spades", "sub",     "sube",
    "sum",     "sup",    "sup1",     "sup2",    "sup3",    "supe",   "szlig",   "tau",
    "there4",  "theta",  "thetasym", "thinsp",  "thorn",   "tilde",  "times",   "trade",
    "uArr",    "uacute", "uarr",     "ucirc",   "ugrave",  "uml",    "upsih",   "upsilon",
    "uuml",    "weierp", "xi",       "yacute",  "yen",     "yuml",   "zeta",    "zwj",
    "zwnj",    "zwsp",
};

}  // namespace

std::span<const std::string_view> entity_names() {
  return names;
}

bool is_entity_name(std::string_view name) {
  if (name.empty() || name.size() > 9) return false;
  for (std::string_view known : names) {
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; ++k)
      same = ascii::to_lower(known[k]) == ascii::to_lower(name[k]);
    if (same) return true;
  }
  return false;
}

}  // namespace wayfetch
