<xsl:stylesheet encoding="iso-8859-1">
<html>
<head><title><xsl:value-of select="/enews/name"/></title></head>
<body>
<img src="art/masthead.gif">
<h1><xsl:value-of select="/enews/name"/></h1>
<ul>
<xsl:for-each select="/enews/stories/feed/channel/item" index="story">
<li><xsl:ahref><xsl:value-of select="title"/></xsl:ahref>: <xsl:value-of select="/enews/front/teaser[#story]" html-filter="no-tags"/></li>
</xsl:for-each>
</ul>
<xsl:for-each select="//item">
<xsl:aname/><h2><xsl:value-of select="title"/></h2>
<xsl:img select="picture" select-log="title"/>
<p><xsl:value-of select="text"/></p>
</xsl:for-each>
</body>
</html>
</xsl:stylesheet>
