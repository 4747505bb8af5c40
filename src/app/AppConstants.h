#pragma once

// Fixed values of the product that several parts of the program share.
namespace AppConstants {
inline constexpr char ProductName[] = "Parlewick";   // translated through QObject::tr
inline constexpr char ProductId[] = "7D2A94E0C15B38F6A0E4C92D1B73F58E";
inline constexpr char ProductVersion[] = "3.1.01";
inline constexpr int ProductBuild = 1;
// As the software-centre data says (LicenseRef-proprietary).
inline constexpr char ProductLicence[] = "Proprietary software: all rights reserved.";
// The name of the desktop entry, icon and software-centre data (reverse domain of the vendor host).
inline constexpr char DesktopId[] = "invalid.parlewick.Parlewick";
inline constexpr char BrandFolder[] = "Talvora";   // under the roaming root
inline constexpr char KikBundleId[] = "com.kik.chat";
inline constexpr char KikGroupSuffix[] = "@groups.kik.com";
// Kik's meme pictures, which a meme card links to (base URL + image name); never loaded by a page.
inline constexpr char KikMemeBaseUrl[] = "http://memes.kik.com/";
}
