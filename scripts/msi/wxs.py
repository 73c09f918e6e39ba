#!/usr/bin/env python3
"""Writes the WiX source of one architecture's installer for QuorvelV11.dll.

usage: wxs.py x64|x86 VERSION DLL IDL > QuorvelV11.wxs

The registration is written as registry rows, the keys the DLL's own DllRegisterServer writes
(less the valueless "Programmable" marker, which wixl cannot write), with the identifiers read
from the IDL, their only source. A 32-bit package's rows land
in the 32-bit registry view, as the x86 DLL's own registration does.
"""
import re
import sys
from xml.sax.saxutils import quoteattr

# Fixed for ever: a newer package of an architecture replaces an older one of the same.
UPGRADE_CODES = {"x64": "{6B1F3C52-9E0A-4D77-8C1B-2F4E5A6D7B80}",
                 "x86": "{0D8E2A41-7C3B-4F59-A6E2-93B1C4D5E6F7}"}
COMPONENT_GUIDS = {"x64": "{A4C2E6F8-1B3D-4E5F-9A7C-8D6E4F2A1B3C}",
                   "x86": "{5E7A9C1B-3D5F-4A6B-8C9D-0E1F2A3B4C5D}"}
OLE_AUTOMATION_PROXY = "{00020424-0000-0000-C000-000000000046}"


def identifiers(idl):
    text = open(idl, encoding="utf-8").read()
    found = re.findall(r"uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*(library|interface|coclass)\s+(\w+)", text)
    ids = {name: "{" + uuid.upper() + "}" for uuid, _, name in found}
    library = next(name for _, kind, name in found if kind == "library")
    classes = re.findall(r"coclass\s+(\w+)\s*\{\s*\[default\]\s*interface\s+(\w+)", text)
    return library, ids, classes


def rows(arch, library, ids, classes):
    dll = "[#QuorvelV11.dll]"
    libid = ids[library]
    out = []
    for coclass, interface in classes:
        clsid, iid = ids[coclass], ids[interface]
        prog = f"{library}.{coclass}"
        versioned = prog + ".1"
        c = "CLSID\\" + clsid
        i = "Interface\\" + iid
        out += [(c, "", coclass), (c + "\\InprocServer32", "", dll),
                (c + "\\InprocServer32", "ThreadingModel", "Apartment"),
                (c + "\\ProgID", "", versioned), (c + "\\VersionIndependentProgID", "", prog),
                (c + "\\TypeLib", "", libid), (c + "\\Version", "", "1.0"),
                (prog, "", coclass), (prog + "\\CLSID", "", clsid), (prog + "\\CurVer", "", versioned),
                (versioned, "", coclass), (versioned + "\\CLSID", "", clsid),
                (i, "", interface), (i + "\\ProxyStubClsid", "", OLE_AUTOMATION_PROXY),
                (i + "\\ProxyStubClsid32", "", OLE_AUTOMATION_PROXY),
                (i + "\\TypeLib", "", libid), (i + "\\TypeLib", "Version", "1.0")]
    lib = f"TypeLib\\{libid}\\1.0"
    out += [(lib, "", library), (lib + "\\FLAGS", "", "0"), (lib + "\\HELPDIR", "", "[INSTALLDIR]"),
            (lib + "\\0\\" + ("win64" if arch == "x64" else "win32"), "", dll)]
    return out


def main():
    arch, version, dll, idl = sys.argv[1:5]
    library, ids, classes = identifiers(idl)
    win64 = ' Win64="yes"' if arch == "x64" else ""
    folder = "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"
    registry = []
    for key, name, value in rows(arch, library, ids, classes):
        key = quoteattr("Software\\Classes\\" + key)
        named = f" Name={quoteattr(name)}" if name else ""
        registry.append(f'<RegistryValue Root="HKLM" Key={key}{named} Type="string" '
                        f'Value={quoteattr(value)}/>')
    body = "\n            ".join(registry)
    print(f'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="{library} ({arch})" Language="1033" Version="{version}"
           Manufacturer="{library}" UpgradeCode="{UPGRADE_CODES[arch]}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="{library} barcode rules, {arch}"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of {library} ({arch}) is already installed."/>
    <Media Id="1" Cabinet="{library}.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{folder}">
        <Directory Id="INSTALLDIR" Name="{library}">
          <Component Id="Server" Guid="{COMPONENT_GUIDS[arch]}"{win64}>
            <File Id="QuorvelV11.dll" Name="QuorvelV11.dll" Source={quoteattr(dll)} KeyPath="yes"/>
            {body}
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Server" Level="1">
      <ComponentRef Id="Server"/>
    </Feature>
  </Product>
</Wix>''')


main()
