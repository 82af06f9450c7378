# The automation object operations are added to platform_automation here.
