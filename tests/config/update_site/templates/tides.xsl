<xsl:stylesheet encoding="iso-8859-1">
<html>
<head><title><xsl:value-of select="/enews/name"/></title></head>
<body>
<h1><xsl:value-of select="/enews/name"/></h1>
<xsl:for-each select="//story">
<p><xsl:value-of select="."/></p>
</xsl:for-each>
</body>
</html>
</xsl:stylesheet>
