// The web pages the windows open with the desktop's handler, and how the windows show them.
// Threading and ownership: constants only.
#pragma once

namespace sundral {

inline constexpr char kHomePageUrl[] = "https://www.orvane.example/sundral/";
inline constexpr char kMakerSiteUrl[] = "https://www.orvane.example/";
inline constexpr char kUpdateCheckUrl[] = "https://www.orvane.example/sundral/update/";
inline constexpr char kDonateUrl[] = "https://www.orvane.example/donate/sundral/";
// What the banner's title shows: the maker's address.
inline constexpr char kMakerSiteText[] = "www.orvane.example";
// The product's address as the About box shows it, and where users get help.
inline constexpr char kHomePageText[] = "www.orvane.example/sundral";
inline constexpr char kSupportText[] = "Support: support@orvane.example";

} // namespace sundral
