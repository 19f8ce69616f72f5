# The native methods of kestrivane.qom.userstoreproxy.multidomain.Orvistal: name and number
# of Java parameters (the 32-bit stdcall suffix is 8 + 4 x parameters).
set(ORVISTAL_JNI_PREFIX Java_kestrivane_qom_userstoreproxy_multidomain_Orvistal_)
set(ORVISTAL_ALL_NATIVES
  wInit:0 wTranslateName:3 wGetUserDsn:2 wGetGroupDsn:1 wAddUser:2 wDeleteUser:2
  wResetPassword:3 wChangePassword:4 wUnlockAccount:2 wIsUserNode:1
  wSetUserAttributeString:4 wGetUserAttributeString:3 wSetUserAttributeInt:4
  wGetUserAttributeInt:3 wSetUserAttributeLargeInt:5 wGetUserAttributeLargeInt:3
  wSetUserAttributeStringArray:5 wGetUserAttributeStringArray:3 wIsGroupNode:1
  wIsMemberOf:2 wSetGroupAttributeString:3 wGetGroupAttributeString:2
  wSetGroupAttributeInt:3 wGetGroupAttributeInt:2 wSetGroupAttributeStringArray:4
  wGetGroupAttributeStringArray:2 wGetUserPrimaryGroup:2 wGetUserGroups:2
  wGetMachineGroups:1 wGetNodeAttributeString:2 wSetNodeAttributeString:3
  wGetNodeAttributeStringArray:2 wSetNodeAttributeStringArray:4
  wGetDeletedNodeAttributeString:2 wGetNodeGuid:1 wGetParentNode:1 wGetNetbiosDomain:1
  wIsUserContainerNode:1 wGetChildUserContainers:1 wSearchNodes:2 wSearchDeletedNodes:1
  wFindNodeValues:5 wGetNodeAttributes:3 wCheckNodeAccess:2 wVerifyPassword:3)

# The natives the library implements so far; the export tables must hold exactly these.
set(ORVISTAL_IMPLEMENTED_NATIVES wInit wTranslateName wGetUserDsn wGetGroupDsn wVerifyPassword
  wIsUserContainerNode wGetChildUserContainers wCheckNodeAccess)
# Node search and NetBIOS names.
list(APPEND ORVISTAL_IMPLEMENTED_NATIVES wSearchNodes wSearchDeletedNodes wFindNodeValues wGetNodeAttributes
     wGetNetbiosDomain)
# Group membership and group expansion.
list(APPEND ORVISTAL_IMPLEMENTED_NATIVES wIsMemberOf wGetUserPrimaryGroup wGetUserGroups wGetMachineGroups)
# Attributes of users, groups and any object.
list(APPEND ORVISTAL_IMPLEMENTED_NATIVES
  wSetUserAttributeString wGetUserAttributeString wSetUserAttributeInt wGetUserAttributeInt
  wSetUserAttributeLargeInt wGetUserAttributeLargeInt wSetUserAttributeStringArray wGetUserAttributeStringArray
  wIsGroupNode wSetGroupAttributeString wGetGroupAttributeString wSetGroupAttributeInt wGetGroupAttributeInt
  wSetGroupAttributeStringArray wGetGroupAttributeStringArray wGetNodeAttributeString wSetNodeAttributeString
  wGetNodeAttributeStringArray wSetNodeAttributeStringArray wGetDeletedNodeAttributeString wGetNodeGuid
  wGetParentNode)
# Account lifecycle.
list(APPEND ORVISTAL_IMPLEMENTED_NATIVES wAddUser wDeleteUser wResetPassword wChangePassword wUnlockAccount wIsUserNode)

function(orvistal_write_export_files)
  set(_version "{\n  global:\n")
  set(_def "EXPORTS\n")
  set(_list "")
  foreach(_entry ${ORVISTAL_ALL_NATIVES})
    string(REPLACE ":" ";" _pair ${_entry})
    list(GET _pair 0 _name)
    list(GET _pair 1 _params)
    list(FIND ORVISTAL_IMPLEMENTED_NATIVES ${_name} _found)
    if(_found GREATER -1)
      string(APPEND _version "    ${ORVISTAL_JNI_PREFIX}${_name};\n")
      if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        # x64 has one calling convention and no decoration: the export is the JNI name itself.
        string(APPEND _def "  ${ORVISTAL_JNI_PREFIX}${_name}\n")
        string(APPEND _list "${ORVISTAL_JNI_PREFIX}${_name} ${ORVISTAL_JNI_PREFIX}${_name}\n")
      else()
        math(EXPR _bytes "8 + 4 * ${_params}")
        string(APPEND _def "  _${ORVISTAL_JNI_PREFIX}${_name}@${_bytes} = ${ORVISTAL_JNI_PREFIX}${_name}@${_bytes}\n")
        string(APPEND _list "${ORVISTAL_JNI_PREFIX}${_name} _${ORVISTAL_JNI_PREFIX}${_name}@${_bytes}\n")
      endif()
    endif()
  endforeach()
  string(APPEND _version "  local:\n    *;\n};\n")
  file(WRITE ${CMAKE_BINARY_DIR}/orvistal.version "${_version}")
  file(WRITE ${CMAKE_BINARY_DIR}/orvistal.def "${_def}")
  file(WRITE ${CMAKE_BINARY_DIR}/natives.txt "${_list}")
endfunction()
orvistal_write_export_files()
