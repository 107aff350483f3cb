target_link_libraries(${t} PRIVATE Qt6::DBus)
