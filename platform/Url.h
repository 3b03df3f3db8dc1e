// Addresses as a browser reads them: links resolved by RFC 3986 through libcurl's URL API.
// Texts are Windows-1251 as the page wrote them; bytes that may not stand in an address
// (Cyrillic letters, blanks) come back as they went in, so a resolved address reads like
// the link it came from. UrlForTransfer() makes the wire form.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace skimlet {

// Removes every TAB, CR and LF, and the control characters and blanks at both ends.
std::string CleanUrl(std::string_view url);

// The address without its fragment ("#..."). A fragment-only link stays as it is.
std::string WithoutFragment(std::string_view url);

// The address of a news: cleaned, without its fragment, with the control characters left
// escaped, so that it can stand in a header line or a history line.
std::string NewsAddress(std::string_view url);

// `text` with every byte for which `escape` is true written as "%XX".
std::string PercentEscape(std::string_view text, bool (*escape)(unsigned char));

// "http:" or "https:" in any case at the start.
bool IsHttpUrl(std::string_view url);
// The link names a scheme of its own ("mailto:", "data:", "javascript:", "http:" ...).
bool HasScheme(std::string_view link);

// Resolves links against one base. Cheap to call again for the same link.
class UrlResolver {
 public:
  UrlResolver();
  // `base` must be an absolute http(s) address; without a scheme, "http://" is assumed.
  // An unusable base leaves the resolver without one (Resolve() then returns "").
  // `shortcuts` off sends every link through libcurl (tests compare the two).
  explicit UrlResolver(std::string_view base, bool shortcuts = true);
  ~UrlResolver();
  UrlResolver(UrlResolver&&) noexcept;
  UrlResolver& operator=(UrlResolver&&) noexcept;

  bool HasBase() const;
  const std::string& Base() const;  // as given, with the scheme added

  // The absolute address of `link` (cleaned first). Fragment-only links and links of
  // schemes other than http and https stay as they are; a link that cannot be resolved
  // stays as it is too. Without a base, "".
  std::string Resolve(std::string_view link);
  // The same for an address that CleanUrl (or AttributeUrl) has cleaned already.
  std::string ResolveCleaned(std::string address);

 private:
  std::string ThroughCurl(std::string link);  // cached
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace skimlet
